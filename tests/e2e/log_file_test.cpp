// kest.log: its lines, their grouping, the time stamps, and what becomes of
// the file when it is written, or cannot be.

#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using LogFileTest = KestTest;

std::string sizeOf(const Bytes& bytes)
{
    return std::to_string(bytes.size());
}

MessageWriter serverData(const std::string& levelName)
{
    return MessageWriter().serverData(34, 1, 0, "baseq2", 0, levelName);
}

std::set<std::string> namesIn(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The new log replaces an earlier, longer one completely.
TEST_F(LogFileTest, WritesHeaderAndTimedMessagesOfOneDemo)
{
    write("kest.log", std::string(20000, 'e') + "\n");
    std::vector<MessageWriter> blocks = {
        serverData("Example Arena").configString(33, "maps/arena1.bsp").configString(34, "maps/other.bsp")};
    blocks.resize(10);
    blocks.push_back(MessageWriter().print(2, "Alpha entered the game\n"));
    blocks.resize(30);
    blocks.push_back(MessageWriter().print(1, "Alpha was hit by Beta\n").print(3, "Beta: hello\n"));
    const Bytes match = demo(blocks);
    write("match1.dm2", match);

    const KestRun result = run({"match1.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading match1.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(log(), "Demo filename: match1.dm2\n"
                     "Demo filesize: " + sizeOf(match) + "\n"
                     "Map name: Example Arena\n"
                     "Map filename: ARENA1.BSP\n"
                     "\n"
                     "TIME: 00:00:01 CLSV: Alpha entered the game\n"
                     "TIME: 00:00:03 FRAG: Alpha was hit by Beta\n"
                     "TIME: 00:00:03 CHAT: Beta: hello\n");
}

// One empty line at each switch between header lines and message lines, and only there.
TEST_F(LogFileTest, GroupsTheDemosOfOneRun)
{
    const Bytes first = demo({serverData("First"), MessageWriter().print(3, "first: hi\n")});
    const Bytes headerOnly = demo({serverData("Second").configString(33, "maps/q2dm2.bsp")});
    const Bytes third = demo({MessageWriter().print(1, "third frag\n")});
    const Bytes empty;
    const Bytes markerOnly = DemoWriter().endMarker().bytes();
    write("1-first.dm2", first);
    write("2-header-only.dm2", headerOnly);
    write("3-third.dm2", third);
    write("4-empty.dm2", empty);
    write("5-marker-only.dm2", markerOnly);

    const KestRun result = run({"*.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading 1-first.dm2...\nReading 2-header-only.dm2...\n"
                                                    "Reading 3-third.dm2...\nReading 4-empty.dm2...\n"
                                                    "Reading 5-marker-only.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: 1-first.dm2\nDemo filesize: " + sizeOf(first) + "\nMap name: First\n"
                     "\nTIME: 00:00:00 CHAT: first: hi\n"
                     "\nDemo filename: 2-header-only.dm2\nDemo filesize: " + sizeOf(headerOnly) +
                     "\nMap name: Second\nMap filename: Q2DM2.BSP\n"
                     "Demo filename: 3-third.dm2\nDemo filesize: " + sizeOf(third) + "\n"
                     "\nTIME: 00:00:00 FRAG: third frag\n"
                     "\nDemo filename: 4-empty.dm2\nDemo filesize: 0\n"
                     "Demo filename: 5-marker-only.dm2\nDemo filesize: 4\n");
}

// A block is a tenth of a second; hours, minutes and seconds take at least two digits each.
TEST_F(LogFileTest, StampsMessagesWithThePlayTimeOfTheirBlock)
{
    const std::vector<std::pair<int, std::string>> stamps = {
        {1, "00:00:00"},        {9, "00:00:00"},        {10, "00:00:01"},       {599, "00:00:59"},
        {600, "00:01:00"},      {610, "00:01:01"},      {35990, "00:59:59"},    {36000, "01:00:00"},
        {36010, "01:00:01"},    {36600, "01:01:00"},    {359990, "09:59:59"},   {360000, "10:00:00"},
        {360010, "10:00:01"},
    };
    std::vector<MessageWriter> blocks(static_cast<std::size_t>(stamps.back().first));
    std::string expectedMessages;
    for (const auto& [block, stamp] : stamps) {
        blocks[static_cast<std::size_t>(block - 1)].print(2, "block " + std::to_string(block) + "\n");
        expectedMessages += "TIME: " + stamp + " CLSV: block " + std::to_string(block) + "\n";
    }
    const Bytes recording = demo(blocks);
    write("long.dm2", recording);

    const KestRun result = run({"long.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: long.dm2\nDemo filesize: " + sizeOf(recording) + "\n\n" + expectedMessages);
}

// Only levels 1 to 3 are messages of the log: no other print shows, or forges a header, or starts a group.
TEST_F(LogFileTest, ShowsPrintsOfLevelsOneToThreeOnly)
{
    MessageWriter others = MessageWriter().print(0, "level zero\n");
    for (const std::uint8_t level : {4, 5, 6, 7, 99, 100, 101, 102, 255})
        others.print(level, level == 100 ? "forged.dm2\n" : "level " + std::to_string(level) + "\n");
    const Bytes headerThenOthers = demo({serverData("Arena"), others});
    const Bytes messages = demo({MessageWriter()
                                     .print(100, "forged.dm2\n")
                                     .print(1, "frag\n")
                                     .print(0, "level zero\n")
                                     .print(2, "client/server\n")
                                     .print(101, "12345\n")
                                     .print(3, "chat\n")
                                     .print(6, "forged map name\n")});
    write("a.dm2", headerThenOthers);
    write("b.dm2", messages);

    const KestRun result = run({"a.dm2", "b.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: a.dm2\nDemo filesize: " + sizeOf(headerThenOthers) + "\nMap name: Arena\n"
                     "Demo filename: b.dm2\nDemo filesize: " + sizeOf(messages) + "\n"
                     "\nTIME: 00:00:00 FRAG: frag\n"
                     "TIME: 00:00:00 CLSV: client/server\n"
                     "TIME: 00:00:00 CHAT: chat\n");
}

// Texts pass through byte for byte; a line ends with exactly one LF of its own or one added.
TEST_F(LogFileTest, WritesMessageTextsUnchanged)
{
    const Bytes texts = demo({MessageWriter()
                                  .print(2, "")
                                  .print(2, "\n")
                                  .print(3, "no line end")
                                  .print(1, "one line end\n")
                                  .print(2, "two\nlines\n")
                                  .print(2, "blank line after\n\n")
                                  .print(3, "\xE9t\xE9 \x80\xFF\x7F\x01 caf\xC3\xA9\r\n")
                                  .print(3, "carriage return last\r")});
    write("texts.dm2", texts);

    const KestRun result = run({"texts.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: texts.dm2\nDemo filesize: " + sizeOf(texts) + "\n\n"
                     "TIME: 00:00:00 CLSV: \n"
                     "TIME: 00:00:00 CLSV: \n"
                     "TIME: 00:00:00 CHAT: no line end\n"
                     "TIME: 00:00:00 FRAG: one line end\n"
                     "TIME: 00:00:00 CLSV: two\nlines\n"
                     "TIME: 00:00:00 CLSV: blank line after\n\n"
                     "TIME: 00:00:00 CHAT: \xE9t\xE9 \x80\xFF\x7F\x01 caf\xC3\xA9\r\n"
                     "TIME: 00:00:00 CHAT: carriage return last\r\n");
}

TEST_F(LogFileTest, WritesLinesOfAnyLengthWhole)
{
    MessageWriter prints;
    std::string expected;
    for (const std::size_t length : {1377u, 1378u, 1399u, 1400u, 1401u, 5000u, 100000u}) {
        const std::string text = std::to_string(length) + std::string(length - 4, 'x');
        prints.print(3, text);
        expected += "TIME: 00:00:00 CHAT: " + text + "\n";
    }
    const std::string longLevelName(3000, 'L');
    const Bytes longLines = demo({serverData(longLevelName), prints});
    write("long-lines.dm2", longLines);

    const KestRun result = run({"long-lines.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: long-lines.dm2\nDemo filesize: " + sizeOf(longLines) + "\nMap name: " +
                         longLevelName + "\n\n" + expected);
}

TEST_F(LogFileTest, NamesTheMapFileOfConfigString33)
{
    const Bytes maps = demo({MessageWriter()
                                 .configString(32, "maps/not-this.bsp")
                                 .configString(33, "maps/base1.bsp")
                                 .configString(34, "maps/nor-this.bsp")
                                 .configString(33, "players/male/q2dm1_v2-x.bsp")
                                 .configString(33, "maps/")
                                 .configString(33, "maps/\xE9mile.BsP")});
    write("maps.dm2", maps);

    const KestRun result = run({"maps.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: maps.dm2\nDemo filesize: " + sizeOf(maps) + "\n"
                     "Map filename: BASE1.BSP\n"
                     "Map filename: Q2DM1_V2-X.BSP\n"
                     "Map filename: \n"
                     "Map filename: \xE9MILE.BSP\n");
}

class NewLogModeTest : public KestTest, public ::testing::WithParamInterface<mode_t> {};

TEST_P(NewLogModeTest, IsEveryoneReadAndWriteLessTheUmask)
{
    write("a.dm2", demo({MessageWriter().print(2, "a\n")}));
    const KestRun result = run({"a.dm2"}, RunSetting{GetParam()});
    ASSERT_EQ(result.exitCode, 0);
    struct stat status {};
    ASSERT_EQ(::stat(path("kest.log").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666 & ~GetParam());
}

INSTANTIATE_TEST_SUITE_P(Umasks, NewLogModeTest, ::testing::Values(mode_t{022}, mode_t{077}, mode_t{002}, mode_t{0}),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "umask0%03o", static_cast<unsigned>(info.param));
                             return std::string(name);
                         });

// kest.log is a folder here: the run fails after reading, and the folder and the rest of the working folder stay as they were.
TEST_F(LogFileTest, LogThatCannotBeWrittenEndsTheRunWithAnError)
{
    write("a.dm2", demo({MessageWriter().print(2, "a\n")}));
    write("kest.log/earlier.txt", std::string("earlier\n"));

    const KestRun result = run({"a.dm2"});
    EXPECT_EQ(result.output, "\nReading a.dm2...\n\nWriting kest.log...\n\nERROR: Couldn't write logfile kest.log!\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile(path("kest.log/earlier.txt")), "earlier\n");
    EXPECT_EQ(namesIn(path(".")), (std::set<std::string>{"a.dm2", "kest.log"}));
    EXPECT_EQ(namesIn(path("kest.log")), std::set<std::string>{"earlier.txt"});
}

// The log outgrows what the file system takes: the run fails and no part of the new log is left.
TEST_F(LogFileTest, LogCutShortByAFullDiskEndsTheRunWithAnError)
{
    MessageWriter prints;
    for (int line = 0; line < 100; ++line)
        prints.print(2, "line " + std::to_string(line) + std::string(100, '.') + "\n");
    write("a.dm2", demo({prints}));

    const KestRun result = runLeavingLogAsItWas({"a.dm2"}, RunSetting{022, 4096});
    EXPECT_EQ(result.output, "\nReading a.dm2...\n\nWriting kest.log...\n\nERROR: Couldn't write logfile kest.log!\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(namesIn(path(".")), (std::set<std::string>{"a.dm2", "kest.log"}));
}

}  // namespace
}  // namespace kest::e2e
