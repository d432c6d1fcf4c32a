// What kest keeps of a demo and what it writes from it: the message list, the log's lines and
// play times, frag lines split against the roster, the tallies and the scoreboard as kest.json
// has them, the text forms a demo's bytes take there, and the page's score chart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "log/json_writer.h"
#include "log/log_writer.h"
#include "log/message_list.h"
#include "log/readable_text.h"
#include "log/score_chart.h"
#include "log/time_stamp.h"
#include "match/frag_splitter.h"

namespace kest {
namespace {

// What a list is asked to do: append `number` records with texts of `size` bytes, give the
// record at index `number` a text of `size` bytes, or keep the first `number` records.
struct Step {
    enum { Append, Replace, KeepFirst } what;
    std::size_t number;
    std::size_t size;
};

// Texts that differ from record to record, so that one written over another shows.
std::string textOf(std::size_t size, std::size_t seed)
{
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (seed * 7 + i) % 26);
    return text;
}

// Kinds that come round in turn, shown in the log or not: the list keeps any.
RecordKind kindOf(std::size_t number) { return static_cast<RecordKind>(number % 7 * 50); }

// A list gives back its own copies of the texts in append order, whatever their kind, and
// each list ends with the records a vector of strings would hold after the same steps.
TEST(MessageList, EveryTextStaysAsGivenThroughReplacementsAndDrops)
{
    constexpr std::size_t Chunk = 64 * 1024;  // bytes a chunk of texts holds, unless one text is longer
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"records and texts past their first chunks", {{Step::Append, 9000, 37}}},
        {"a text longer than a chunk between short ones",
         {{Step::Append, 3, 10}, {Step::Append, 1, Chunk + 1}, {Step::Append, 1, 0}, {Step::Append, 3, 10}}},
        {"texts that fill a chunk exactly", {{Step::Append, 9, Chunk / 4}, {Step::Append, 1, 0}}},
        {"a shorter text, then a longer one", {{Step::Append, 4, 5}, {Step::Replace, 1, 2}, {Step::Replace, 1, 9}}},
        {"dropping records, then appending again",
         {{Step::Append, 5000, 30}, {Step::KeepFirst, 4000, 0}, {Step::Append, 3000, 20}, {Step::KeepFirst, 0, 0},
          {Step::Append, 2, 3}}},
        {"a kept record's text replaced after the records dropped",
         {{Step::Append, 3, 5}, {Step::Append, 3, 40}, {Step::Replace, 1, 200}, {Step::KeepFirst, 3, 0},
          {Step::Append, 10, 40}}},
        {"dropping back to a text that had a chunk to itself",
         {{Step::Append, 2, 10}, {Step::Append, 1, 3 * Chunk}, {Step::Append, 2, 10}, {Step::KeepFirst, 2, 0},
          {Step::Append, 1000, 100}}},
        {"dropping back to an empty text after a full chunk",
         {{Step::Append, 2, Chunk / 2}, {Step::Append, 1, 0}, {Step::Append, 3, 7}, {Step::KeepFirst, 2, 0},
          {Step::Append, 3, 7}}},
        {"keeping more records than there are", {{Step::Append, 3, 4}, {Step::KeepFirst, 5, 0}}},
        {"no records", {}},
    };
    for (const auto& c : cases) {
        MessageList list;
        std::vector<std::string> expected;
        for (const Step& step : c.steps) {
            if (step.what == Step::Append) {
                for (std::size_t i = 0; i < step.number; ++i) {
                    std::string text = textOf(step.size, expected.size());
                    expected.push_back(text);
                    list.append(static_cast<std::int64_t>(expected.size()), kindOf(expected.size()), text);
                    text.assign("changed");  // the list keeps a copy of its own
                }
            } else if (step.what == Step::Replace) {
                expected.at(step.number) = textOf(step.size, step.number + 1000);
                list.replaceText(step.number, expected[step.number]);
            } else {
                expected.resize(std::min(step.number, expected.size()));
                list.keepFirst(step.number);
            }
        }
        EXPECT_EQ(list.size(), expected.size()) << c.name;
        for (int pass = 0; pass < 2; ++pass) {  // first() starts the walk over
            std::size_t index = 0;
            for (const MessageRecord* record = list.first(); record != nullptr; record = list.next(), ++index) {
                ASSERT_LT(index, expected.size()) << c.name;
                EXPECT_EQ(record->time, static_cast<std::int64_t>(index + 1)) << c.name << ", record " << index;
                EXPECT_EQ(record->kind, kindOf(index + 1)) << c.name << ", record " << index;
                ASSERT_EQ(record->text, expected[index]) << c.name << ", record " << index;
            }
            EXPECT_EQ(index, expected.size()) << c.name;
            EXPECT_EQ(list.next(), nullptr) << c.name;
        }
    }
}

using Entry = std::tuple<std::int64_t, std::int32_t, std::string>;  // time, kind, text

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

// "victim|killer|means|weapon", with "team kill" after a kill of a team mate; "-" for none.
std::string split(const char* gameDirectory, std::vector<std::string_view> names, std::string_view line)
{
    const auto death = FragSplitter(obituariesFor(gameDirectory)).split(line, names);
    if (!death)
        return "-";
    return std::string(death->victim) + "|" + std::string(death->killer.value_or("-")) + "|" +
           std::string(death->obituary->means) + "|" + std::string(death->obituary->weapon) +
           (death->teamKill ? "|team kill" : "");
}

// Every game's table is built (each obituary names its victim and holds no word in braces the
// splitter does not know) and splits the lines its traps make.
TEST(FragSplitter, NamesAndObituary)
{
    // What the case traps, the game, the roster's names (longest first), the line, the death.
    const std::tuple<const char*, const char*, std::vector<std::string_view>, std::string, const char*> cases[] = {
        {"a kill", "", {"Mako", "Vex"}, "Vex was railed by Mako", "Vex|Mako|railgun|Railgun"},
        {"the killer's words after the killer", "baseq2", {"Mako", "Vex"}, "Vex ate Mako's rocket",
         "Vex|Mako|rocket|Rocket Launcher"},
        {"an obituary's words in the victim's name", "", {"Bob was railed by", "Alice"},
         "Bob was railed by was railed by Alice", "Bob was railed by|Alice|railgun|Railgun"},
        {"an obituary's words in the killer's name", "", {"Bob was railed by", "Alice"},
         "Alice was railed by Bob was railed by", "Alice|Bob was railed by|railgun|Railgun"},
        {"a name that begins another, as victim", "", {"Alice", "Al"}, "Al ate Alice's rocket",
         "Al|Alice|rocket|Rocket Launcher"},
        {"a name that begins another, as killer", "", {"Alice", "Al"}, "Alice ate Al's rocket",
         "Alice|Al|rocket|Rocket Launcher"},
        {"a name that begins with spaces", "", {"          Kvaki", "Enra"}, "          Kvaki was railed by Enra",
         "          Kvaki|Enra|railgun|Railgun"},
        {"high-bit letters and brackets", "", {"\xCD\xE1\xEB[1]", "x"}, "x was railed by \xCD\xE1\xEB[1]",
         "x|\xCD\xE1\xEB[1]|railgun|Railgun"},
        {"a team kill", "opentdm", {"Mako", "Vex"},
         "Vex was railed by Mako\xA0\xAA\xAA\xA0\xF4\xE5\xE1\xED\xA0\xEB\xE9\xEC\xEC\xA0\xAA\xAA",
         "Vex|Mako|railgun|Railgun|team kill"},
        {"the team-kill mark after a death the world dealt", "opentdm", {"Vex"},
         "Vex cratered.\xA0\xAA\xAA\xA0\xF4\xE5\xE1\xED\xA0\xEB\xE9\xEC\xEC\xA0\xAA\xAA", "-"},
        {"a death the world dealt", "", {"Vex"}, "Vex cratered.", "Vex|-|falling|"},
        {"the hit location in the words", "action", {"strc", "[btf]Jehar"},
         "strc's brains are on the wall thanks to [btf]Jehar's 10mm MP5/10 round",
         "strc|[btf]Jehar|mp5|MP5/10 Submachinegun"},
        {"the victim's own doing, her pronoun", "", {"Vex"}, "Vex tripped on her own grenade.", "Vex|-|hg_splash|"},
        {"a game kest has no table for", "mymod", {"Mako", "Vex"}, "Vex was railed by Mako",
         "Vex|Mako|railgun|Railgun"},
        {"a game directory in capitals", "BASEQ2", {"Vex"}, "Vex died.", "Vex|-|unknown|"},
        {"the ctf table", "ctf", {"Vex"}, "Vex died.", "Vex|-|unknown|"},
        {"the xatrix table", "xatrix", {"Vex"}, "Vex died.", "Vex|-|unknown|"},
        {"the rogue table", "rogue", {"Vex"}, "Vex died.", "Vex|-|unknown|"},
        {"a notice naming two players", "", {"Mako", "Vex"}, "Vex is now known as Mako.", "-"},
        {"words after the obituary", "", {"Mako", "Vex"}, "Vex was railed by Mako, nice", "-"},
        {"a name not in the roster", "", {"Mako"}, "Vex was railed by Mako", "-"},
        {"a world death's words after a kill", "", {"Mako", "Vex"}, "Vex was railed by Mako died.", "-"},
    };
    for (const auto& [trap, game, names, line, death] : cases)
        EXPECT_EQ(split(game, names, line), death) << trap;
}


std::string json(const std::vector<Entry>& records)
{
    MessageList list;
    for (const auto& [time, kind, text] : records)
        list.append(time, static_cast<RecordKind>(kind), text);
    return JsonWriter().render(list);
}

constexpr std::int32_t Player = static_cast<std::int32_t>(RecordKind::Player);

// Whole lines of kest.json: each field in its place, the tallies, the players' order, the
// scoreboard, and the deaths of the messages.
TEST(JsonWriter, WholeLines)
{
    const std::tuple<const char*, std::vector<Entry>, std::string> cases[] = {
        {"a player's demo: kills, a suicide, a player who left, a scoreboard, a line no obituary explains",
         {{0, 100, "duel.dm2"}, {0, 101, "523"}, {0, 200, "dm2"}, {0, 202, "34"}, {0, 204, ""}, {0, 6, "Arena"},
          {0, 4, "ARENA.BSP"}, {0, Player, "Mako\\female/athena"}, {0, Player + 1, "Vex\\male/grunt"},
          {150, 1, "Vex was railed by Mako\n"}, {160, 1, "Mako cratered.\n"}, {170, 3, "Vex: gg\n"},
          {180, 1, "Vex ate Mako's rocket\n"}, {190, Player + 1, ""}, {200, 1, "Vex was railed by Mako\n"},
          {210, Player + 1, "Orb\\male/grunt"}, {220, 1, "Zed died.\n"}, {230, 2, "Timelimit hit.\n"},
          {240, 205, "xv 0 client 0 0 0 2 50 3 client 0 8 1 0 40 1"}, {1234, 206, ""}},
         R"({"file":"duel.dm2","size":523,"format":"dm2","compressed":false,"protocol":34,"gamedir":"",)"
         R"("seconds":123,"damaged_at":null,"stopped_at":null,"levels":[{"name":"Arena","map":"ARENA.BSP",)"
         R"("from":0,"players":[{"name":"Mako","skin":"female/athena","kills":3,"deaths":1,"suicides":1,)"
         R"("team_kills":0,"score":2,"weapons":{"Railgun":2,"Rocket Launcher":1}},{"name":"Orb","skin":"male/grunt",)"
         R"("kills":0,"deaths":0,"suicides":0,"team_kills":0,"score":0,"weapons":{}},{"name":"Vex",)"
         R"("skin":"male/grunt","kills":0,"deaths":3,"suicides":0,"team_kills":0,"score":0,"weapons":{}}],)"
         R"("scoreboard":{"seconds":24,"rows":[{"name":"Mako","score":2,"deaths":null,"ping":50},)"
         R"({"name":"Orb","score":0,"deaths":null,"ping":40}]}}],"unexplained_frags":1,"messages":[)"
         R"({"seconds":15,"time":"00:00:15","kind":"FRAG","text":"Vex was railed by Mako","victim":"Vex",)"
         R"("killer":"Mako","means":"railgun","weapon":"Railgun","team_kill":false},)"
         R"({"seconds":16,"time":"00:00:16","kind":"FRAG","text":"Mako cratered.","victim":"Mako","killer":null,)"
         R"("means":"falling","weapon":null,"team_kill":false},)"
         R"({"seconds":17,"time":"00:00:17","kind":"CHAT","text":"Vex: gg"},)"
         R"({"seconds":18,"time":"00:00:18","kind":"FRAG","text":"Vex ate Mako's rocket","victim":"Vex",)"
         R"("killer":"Mako","means":"rocket","weapon":"Rocket Launcher","team_kill":false},)"
         R"({"seconds":20,"time":"00:00:20","kind":"FRAG","text":"Vex was railed by Mako","victim":"Vex",)"
         R"("killer":"Mako","means":"railgun","weapon":"Railgun","team_kill":false},)"
         R"({"seconds":22,"time":"00:00:22","kind":"FRAG","text":"Zed died."},)"
         R"({"seconds":23,"time":"00:00:23","kind":"CLSV","text":"Timelimit hit."}]})"
         "\n"},
        {"a compressed multi-view recording that stops, over two levels, with a frag table that cuts a long name",
         {{0, 100, "m\xE9.mvd2.gz"}, {0, 101, "99"}, {0, 200, "mvd2"}, {0, 202, "37"}, {0, 203, "2010"},
          {0, 204, "opentdm"}, {0, 6, "The \x90" "Edge\x91"}, {0, 4, "Q2DM1.BSP"}, {0, Player + 2, "claire@packetflinger\\female/athena"},
          {40, 205, R"(xv 8 yv 48 string2 " Name            Frags Dths Net Ping" yv 56 string "claire@packetfl      7    2   5   34")"},
          {50, 202, "37"}, {50, 203, "2011"}, {50, 204, "x"}, {50, 6, ""}, {50, 4, ""}, {77, 206, ""},
          {0, 201, ""}, {0, 208, "4096"}, {0, 209, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!"}},
         "{\"file\":\"m\xEF\xBF\xBD.mvd2.gz\","
         R"("size":99,"format":"mvd2","compressed":true,"protocol":37,"minor":2010,"gamedir":"opentdm",)"
         R"("seconds":7,"damaged_at":null,"stopped_at":{"offset":4096,"error":"KEST: Unknown demo format )"
         R"((this_id: 0x0 prev_id: 0x0)!"},"levels":[{"name":"The [Edge]","map":"Q2DM1.BSP","from":0,)"
         R"("players":[{"name":"claire@packetflinger","skin":"female/athena","kills":0,"deaths":0,"suicides":0,)"
         R"("team_kills":0,"score":0,"weapons":{}}],"scoreboard":{"seconds":4,"rows":[{"name":"claire@packetflinger",)"
         R"("score":7,"deaths":2,"ping":34}]}},)"
         R"({"name":"","map":"","from":5,"players":[],"scoreboard":null}],"unexplained_frags":0,)"
         R"("messages":[]})"
         "\n"},
    };
    for (const auto& [name, records, line] : cases)
        EXPECT_EQ(json(records), line) << name;
}

TEST(ReadableText, ConsoleTextAndUtf8)
{
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // text, as the console shows it, as valid UTF-8
        {"plain \"q\" \\", "plain \"q\" \\", "plain \"q\" \\"},
        {"tab\tLF\nCR\r", "tab\tLF\nCR.", "tab\tLF\nCR\r"},
        {"\xC8\xE5\xEC\xEF \xA0", "Helo  ", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD"},
        {"\x10" "1\x11 \x90" "2\x91", "[1] [2]", "\x10" "1\x11 \xEF\xBF\xBD" "2\xEF\xBF\xBD"},
        {"\x01\x7F\x8A\x89", "....", "\x01\x7F\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE", "cafC) b., p...", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE"},
        // overlong, surrogate, above U+10FFFF, cut short
        {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82", "@/ m . t[.. b.",
         "\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [text, console, utf8] : cases) {
        EXPECT_EQ(consoleText(text), console) << text;
        EXPECT_EQ(validUtf8(text), utf8) << text;
    }
}

// The score axis holds zero and every score in at most five round steps; the time step is the
// smallest round one of at most eight steps; numbers and times as the chart writes them.
TEST(ScoreChart, AxesAndNumbers)
{
    const std::int32_t Most = std::numeric_limits<std::int32_t>::max();
    const std::tuple<std::int32_t, std::int32_t, std::int64_t, std::int64_t, std::int64_t> axes[] = {
        {0, 0, 0, 1, 1},     {0, 5, 0, 5, 1},    {0, 6, 0, 6, 2},     {0, 27, 0, 30, 10},
        {-3, 12, -5, 15, 5}, {-7, 0, -8, 0, 2},  {3, 4, 0, 4, 1},     {-7, -3, -8, 0, 2},
        {0, Most, 0, 2500000000, 500000000},
    };
    for (const auto& [lowest, highest, low, high, step] : axes) {
        const ScoreAxis axis = scoreAxis(lowest, highest);
        EXPECT_EQ(std::tuple(axis.low, axis.high, axis.step), std::tuple(low, high, step)) << lowest << " to " << highest;
    }
    const std::pair<std::int64_t, std::int64_t> timeSteps[] = {
        {1, 10}, {80, 10}, {81, 20}, {2060, 300}, {4250, 600}, {3456000, 432000}, {3456001, 864000}};
    for (const auto& [span, step] : timeSteps)
        EXPECT_EQ(timeStep(span), step) << span;
    const std::pair<double, const char*> numbers[] = {
        {0, "0"}, {100, "100"}, {12.34, "12.3"}, {0.05, "0.1"}, {-0.04, "0"}, {-2.5, "-2.5"}, {99.96, "100"}};
    for (const auto& [value, text] : numbers)
        EXPECT_EQ(svgNumber(value), text) << value;
    const std::pair<std::int64_t, const char*> times[] = {
        {0, "0:00"}, {599, "0:59"}, {600, "1:00"}, {35999, "59:59"}, {36000, "1:00:00"}, {3600000, "100:00:00"}};
    for (const auto& [blocks, text] : times)
        EXPECT_EQ(tickTime(blocks), text) << blocks;
}

TEST(ScoreChart, EndLabelsKeepTheirGapWithinThePlot)
{
    // wanted, top, bottom, placed
    const std::tuple<std::vector<double>, double, double, std::vector<double>> cases[] = {
        {{}, 12, 234, {}}, {{50}, 12, 234, {50}}, {{50, 52}, 12, 234, {50, 64}}, {{50, 50, 50}, 12, 234, {50, 64, 78}},
        {{52, 50}, 12, 234, {64, 50}},      // in the order wanted
        {{230, 232}, 12, 234, {220, 234}},  // up from the bottom
        {{0, 300}, 12, 234, {12, 234}},
        {{10, 10, 10}, 0, 20, {0, 14, 28}},  // too many for the room: past the bottom
    };
    for (const auto& [wanted, top, bottom, placed] : cases)
        EXPECT_EQ(spreadLabels(wanted, 14, top, bottom), placed) << ::testing::PrintToString(wanted);
}

TEST(ScoreChart, StepLinesTicksAndLabels)
{
    LevelFacts level;
    for (const char* name : {"Ash", "Birch", "Cedar"})
        level.players.emplace_back().name = name;
    // Ash scores twice in one block, later loses one; Birch kills himself; Cedar does nothing.
    level.scoreSteps = {{20, 0, 1}, {20, 0, 2}, {50, 1, -1}, {80, 0, 1}};
    const ScoreChart chart = scoreChart(level, 100, {0, 1, 2}, 5);
    // From 0 to 10 seconds across 44 to 660 (the labels take the least room, 60); from -1 to 2 up.
    EXPECT_EQ(chart.plotRight, 660);
    using Ticks = std::vector<std::pair<double, std::int64_t>>;
    Ticks time, score;
    for (const ChartTick& tick : chart.timeTicks)
        time.emplace_back(tick.at, tick.value);
    for (const ChartTick& tick : chart.scoreTicks)
        score.emplace_back(tick.at, tick.value);
    EXPECT_EQ(time, (Ticks{{44, 0}, {167.2, 20}, {290.4, 40}, {413.6, 60}, {536.8, 80}, {660, 100}}));
    EXPECT_EQ(score, (Ticks{{234, -1}, {160, 0}, {86, 1}, {12, 2}}));
    using Lines = std::vector<std::tuple<std::size_t, std::int32_t, std::string, double>>;
    Lines lines;
    for (const ChartLine& line : chart.lines)
        lines.emplace_back(line.player, line.score, line.path, line.labelY);
    EXPECT_EQ(lines, (Lines{{0, 1, "M44 160H167.2V86V12H536.8V86H660", 86}, {1, -1, "M44 160H352V234H660", 234},
                            {2, 0, "M44 160H660", 160}}));

    // A later level's chart starts at its own start; a step past the given end takes the end with it,
    // and a long label takes room from the plot, seven units a character, up to 260.
    level.time = 600;
    level.scoreSteps = {{700, 1, 1}};
    for (const auto& [labelChars, path] : {std::pair{20, "M44 234H560V12"}, {40, "M44 234H460V12"}}) {
        const ScoreChart later = scoreChart(level, 650, {1}, labelChars);
        ASSERT_EQ(later.lines.size(), 1u);
        EXPECT_EQ(later.lines[0].path, path);
        EXPECT_EQ(later.timeTicks.front().value, 600);
        EXPECT_EQ(later.timeTicks.back().value, 700);
    }
}

}  // namespace
}  // namespace kest
