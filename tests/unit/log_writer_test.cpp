#include "log/log_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "log/time_stamp.h"

namespace kest {
namespace {

using Entry = std::tuple<std::int64_t, int, std::string>;  // time, kind, text

// The log made in pieces of at most `capacity` bytes, put together; each piece but the last is full.
std::string render(const std::vector<Entry>& entries, std::size_t capacity)
{
    MessageList list;
    for (const auto& [time, kind, text] : entries)
        list.append(time, static_cast<RecordKind>(kind), text);
    LogPieces pieces(list, capacity);
    std::string log;
    for (std::string_view piece = pieces.nextPiece(); !piece.empty(); piece = pieces.nextPiece()) {
        if (log.size() % capacity != 0)
            return "a piece after one that was not full";
        log += piece;
    }
    return log;
}

const std::size_t Capacities[] = {1, 2, 7, LogPieces::DefaultCapacity};

TEST(LogWriter, WholeLogs)
{
    const std::string longText = std::string(4999, 'x') + "z";
    const std::tuple<const char*, std::vector<Entry>, std::string> cases[] = {  // name, entries, log
        {"empty list", {}, ""},
        {"one demo",
         {{0, 100, "match1.dm2"}, {0, 101, "523"}, {1, 6, "Example Arena"}, {1, 4, "ARENA1.BSP"},
          {10, 2, "Alpha entered the game\n"}, {30, 1, "Alpha was hit by Beta\n"}, {45, 3, "Beta: hello\n"}},
         "Demo filename: match1.dm2\nDemo filesize: 523\nMap name: Example Arena\nMap filename: ARENA1.BSP\n\n"
         "TIME: 00:00:01 CLSV: Alpha entered the game\nTIME: 00:00:03 FRAG: Alpha was hit by Beta\n"
         "TIME: 00:00:04 CHAT: Beta: hello\n"},
        {"headers only, two demos", {{0, 100, "a.dm2"}, {0, 101, "1"}, {0, 100, "b.dm2"}, {0, 101, "2"}},
         "Demo filename: a.dm2\nDemo filesize: 1\nDemo filename: b.dm2\nDemo filesize: 2\n"},
        {"a message first, then a header", {{753, 3, "Beta: hello\n"}, {0, 100, "a.dm2"}},
         "\nTIME: 00:01:15 CHAT: Beta: hello\n\nDemo filename: a.dm2\n"},
        {"three demos, the middle one without messages",
         {{0, 100, "a.dm2"}, {5, 1, "frag\n"}, {0, 100, "b.dm2"}, {7, 6, "Level"}, {0, 100, "c.dm2"},
          {60, 2, "notice\n"}},
         "Demo filename: a.dm2\n\nTIME: 00:00:00 FRAG: frag\n\nDemo filename: b.dm2\nMap name: Level\n"
         "Demo filename: c.dm2\n\nTIME: 00:00:06 CLSV: notice\n"},
        {"unshown kinds between headers", {{0, 100, "a.dm2"}, {1, 0, "level 0\n"}, {2, 5, "x"}, {0, 101, "5"}},
         "Demo filename: a.dm2\nDemo filesize: 5\n"},
        {"unshown kinds between messages", {{10, 1, "x\n"}, {10, 255, "h\n"}, {10, -1, "h\n"}, {20, 1, "y\n"}},
         "\nTIME: 00:00:01 FRAG: x\nTIME: 00:00:02 FRAG: y\n"},
        {"an unshown kind first", {{10, 102, "h\n"}, {0, 100, "a.dm2"}}, "Demo filename: a.dm2\n"},
        {"text with its LF", {{10, 1, "a\n"}}, "\nTIME: 00:00:01 FRAG: a\n"},
        {"text without LF", {{10, 1, "a"}}, "\nTIME: 00:00:01 FRAG: a\n"},
        {"empty message", {{0, 2, ""}}, "\nTIME: 00:00:00 CLSV: \n"},
        {"LF inside, CR at the end", {{10, 3, "a\nb\r"}}, "\nTIME: 00:00:01 CHAT: a\nb\r\n"},
        {"two LFs at the end", {{10, 3, "a\n\n"}}, "\nTIME: 00:00:01 CHAT: a\n\n"},
        {"header with its LF, empty header", {{0, 6, "Level\n"}, {0, 4, ""}}, "Map name: Level\nMap filename: \n"},
        {"bytes above ASCII", {{0, 100, "\xE9t\xE9.dm2"}, {10, 3, "\x80\xFF caf\xC3\xA9\n"}},
         "Demo filename: \xE9t\xE9.dm2\n\nTIME: 00:00:01 CHAT: \x80\xFF caf\xC3\xA9\n"},
        {"a line longer than a piece", {{10, 3, longText}}, "\nTIME: 00:00:01 CHAT: " + longText + "\n"},
    };
    for (const auto& [name, entries, log] : cases) {
        for (const std::size_t capacity : Capacities)
            EXPECT_EQ(render(entries, capacity), log) << name << ", pieces of " << capacity;
    }
}

TEST(TimeStamp, PlayTimeOfABlockCount)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "00:00:00"},       {9, "00:00:00"},       {10, "00:00:01"},     {599, "00:00:59"},
        {600, "00:01:00"},     {610, "00:01:01"},     {35999, "00:59:59"},  {36000, "01:00:00"},
        {360000, "10:00:00"},  {3600000, "100:00:00"}, {36000000, "1000:00:00"},
        {INT64_MAX, "256204778801521:33:00"},
    };
    TimeStamp stamp;
    for (const auto& [blocks, text] : cases)
        EXPECT_EQ(stamp.format(blocks), text) << blocks << " blocks";
}

}  // namespace
}  // namespace kest
