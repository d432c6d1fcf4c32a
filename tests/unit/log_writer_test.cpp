#include "log/log_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/time_stamp.h"

namespace kest {
namespace {

struct Entry {
    std::int64_t time;
    int kind;
    std::string text;
};

std::string render(const std::vector<Entry>& entries)
{
    MessageList list;
    for (const Entry& entry : entries)
        list.append(entry.time, static_cast<RecordKind>(entry.kind), entry.text);
    return LogWriter().render(list);
}

const std::vector<Entry> FirstDemoHeader = {
    {0, 100, "match1.dm2"}, {0, 101, "523"}, {1, 6, "Example Arena"}, {1, 4, "ARENA1.BSP"}};

TEST(LogWriter, EmptyListGivesAnEmptyLog)
{
    EXPECT_EQ(render({}), "");
}

TEST(LogWriter, OneDemo)
{
    std::vector<Entry> entries = FirstDemoHeader;
    entries.insert(entries.end(), {{10, 2, "Alpha entered the game\n"},
                                   {30, 1, "Alpha was hit by Beta\n"},
                                   {45, 3, "Beta: hello\n"}});
    EXPECT_EQ(render(entries),
              "Demo filename: match1.dm2\n"
              "Demo filesize: 523\n"
              "Map name: Example Arena\n"
              "Map filename: ARENA1.BSP\n"
              "\n"
              "TIME: 00:00:01 CLSV: Alpha entered the game\n"
              "TIME: 00:00:03 FRAG: Alpha was hit by Beta\n"
              "TIME: 00:00:04 CHAT: Beta: hello\n");
}

TEST(LogWriter, HeaderLinesOnlyHaveNoEmptyLine)
{
    EXPECT_EQ(render({FirstDemoHeader[0], FirstDemoHeader[1], {0, 100, "b.dm2"}, {0, 101, "0"}}),
              "Demo filename: match1.dm2\n"
              "Demo filesize: 523\n"
              "Demo filename: b.dm2\n"
              "Demo filesize: 0\n");
}

TEST(LogWriter, MessageFirstStartsWithAnEmptyLine)
{
    EXPECT_EQ(render({{753, 3, "Beta: hello\n"}, {0, 100, "a.dm2"}}),
              "\n"
              "TIME: 00:01:15 CHAT: Beta: hello\n"
              "\n"
              "Demo filename: a.dm2\n");
}

TEST(LogWriter, TwoDemosAreSeparatedWhereMessagesEnd)
{
    EXPECT_EQ(render({{0, 100, "a.dm2"}, {0, 101, "10"}, {5, 1, "frag\n"},
                      {0, 100, "b.dm2"}, {0, 101, "20"}, {7, 6, "Level"},
                      {0, 100, "c.dm2"}, {0, 101, "30"}, {60, 2, "notice\n"}}),
              "Demo filename: a.dm2\n"
              "Demo filesize: 10\n"
              "\n"
              "TIME: 00:00:00 FRAG: frag\n"
              "\n"
              "Demo filename: b.dm2\n"
              "Demo filesize: 20\n"
              "Map name: Level\n"
              "Demo filename: c.dm2\n"
              "Demo filesize: 30\n"
              "\n"
              "TIME: 00:00:06 CLSV: notice\n");
}

TEST(LogWriter, LineEnds)
{
    struct Case {
        const char* name;
        std::int64_t time;
        int kind;
        const char* text;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"text with its LF", 10, 1, "a\n", "TIME: 00:00:01 FRAG: a\n"},
        {"text without LF", 10, 1, "a", "TIME: 00:00:01 FRAG: a\n"},
        {"empty message", 0, 2, "", "TIME: 00:00:00 CLSV: \n"},
        {"LF inside the text", 10, 3, "a\nb", "TIME: 00:00:01 CHAT: a\nb\n"},
        {"two LFs at the end", 10, 3, "a\n\n", "TIME: 00:00:01 CHAT: a\n\n"},
        {"only an LF", 10, 3, "\n", "TIME: 00:00:01 CHAT: \n"},
        {"CR LF", 10, 3, "a\r\n", "TIME: 00:00:01 CHAT: a\r\n"},
        {"text ending in CR", 10, 3, "a\r", "TIME: 00:00:01 CHAT: a\r\n"},
        {"header with its LF", 0, 6, "Level\n", "Map name: Level\n"},
        {"empty header", 0, 4, "", "Map filename: \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool message = c.kind <= 3;
        EXPECT_EQ(render({{c.time, c.kind, c.text}}), (message ? "\n" : "") + std::string(c.line));
    }
}

TEST(LogWriter, UnshownKindsWriteNothingAndKeepTheGroup)
{
    for (const int kind : {0, 5, 7, 99, 102, 255, -1}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(render({{10, kind, "hidden\n"}}), "");
        EXPECT_EQ(render({{0, 100, "a.dm2"}, {10, kind, "hidden\n"}, {0, 101, "5"}}),
                  "Demo filename: a.dm2\nDemo filesize: 5\n");
        EXPECT_EQ(render({{10, 1, "x\n"}, {10, kind, "hidden\n"}, {20, 1, "y\n"}}),
                  "\nTIME: 00:00:01 FRAG: x\nTIME: 00:00:02 FRAG: y\n");
        EXPECT_EQ(render({{10, kind, "hidden\n"}, {0, 100, "a.dm2"}}), "Demo filename: a.dm2\n");
    }
}

TEST(LogWriter, LongLineIsWrittenWhole)
{
    std::string text(5000, 'x');
    text.back() = 'z';
    EXPECT_EQ(render({{10, 3, text}}), "\nTIME: 00:00:01 CHAT: " + text + "\n");
    EXPECT_EQ(render({{0, 6, text}}), "Map name: " + text + "\n");
}

TEST(LogWriter, BytesAboveAsciiPassUnchanged)
{
    const std::string text = "\x80\xA0\xE9\xFF caf\xC3\xA9\n";
    EXPECT_EQ(render({{0, 100, "\xE9t\xE9.dm2"}, {10, 3, text}}),
              "Demo filename: \xE9t\xE9.dm2\n\nTIME: 00:00:01 CHAT: " + text);
}

TEST(TimeStamp, PlayTimeOfABlockCount)
{
    const struct {
        std::int64_t blocks;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},          {9, "00:00:00"},         {10, "00:00:01"},       {19, "00:00:01"},
        {599, "00:00:59"},        {600, "00:01:00"},       {610, "00:01:01"},      {6000, "00:10:00"},
        {35999, "00:59:59"},      {36000, "01:00:00"},     {36010, "01:00:01"},    {36600, "01:01:00"},
        {359999, "09:59:59"},     {360000, "10:00:00"},    {360010, "10:00:01"},   {3599999, "99:59:59"},
        {3600000, "100:00:00"},   {3600010, "100:00:01"},  {36000000, "1000:00:00"},
    };
    TimeStamp stamp;
    for (const auto& c : cases)
        EXPECT_EQ(stamp.format(c.blocks), c.text) << c.blocks << " blocks";
}

}  // namespace
}  // namespace kest
