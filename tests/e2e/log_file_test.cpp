// kest.log: its lines, their grouping, the time stamps, and what becomes of
// the file when it is written, or cannot be.

#include <sys/stat.h>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using LogFileTest = KestTest;

MessageWriter serverData(const std::string& levelName)
{
    return MessageWriter().serverData(34, 1, 0, "baseq2", 0, levelName);
}

// One empty line at each switch between header lines and message lines, and only there.
// Prints of levels other than 1 to 3 show nothing, forge no header line and start no group.
TEST_F(LogFileTest, GroupsTheDemosOfOneRun)
{
    MessageWriter others = MessageWriter().print(0, "level zero\n");
    for (const std::uint8_t level : {4, 6, 7, 100, 101, 255})
        others.print(level, level == 100 ? "forged.dm2\n" : "level " + std::to_string(level) + "\n");
    const Bytes first = demo({serverData("Example Arena").configString(33, "maps/arena1.bsp").configString(34, "x/y"),
                              MessageWriter().print(2, "Alpha entered the game\n"),
                              MessageWriter().print(1, "Alpha was hit by Beta\n").print(3, "Beta: hello\n")});
    const Bytes second =
        demo({serverData("Second").configString(33, "maps/\xE9mile.BsP").configString(33, "maps/"), others});
    const Bytes third = demo({MessageWriter(others).print(1, "third frag\n")});
    const Bytes markerOnly = DemoWriter().endMarker().bytes();
    std::string lines;
    const std::vector<std::pair<std::string, Bytes>> demos = {
        {"1.dm2", first}, {"2.dm2", second}, {"3.dm2", third}, {"4-empty.dm2", {}}, {"5-marker-only.dm2", markerOnly}};
    for (const auto& [name, bytes] : demos) {
        write(name, bytes);
        lines += reading(name);
    }
    EXPECT_EQ(completedLog({"*.dm2"}, lines),
              header("1.dm2", first.size()) + "Map name: Example Arena\nMap filename: ARENA1.BSP\n\n"
                  "TIME: 00:00:00 CLSV: Alpha entered the game\n"
                  "TIME: 00:00:00 FRAG: Alpha was hit by Beta\n"
                  "TIME: 00:00:00 CHAT: Beta: hello\n\n" +
                  header("2.dm2", second.size()) + "Map name: Second\nMap filename: \xE9MILE.BSP\nMap filename: \n" +
                  header("3.dm2", third.size()) + "\nTIME: 00:00:00 FRAG: third frag\n\n" +
                  header("4-empty.dm2", 0) + header("5-marker-only.dm2", 4));
}

// A block is a tenth of a second; hours, minutes and seconds take at least two digits each.
// Texts pass through byte for byte whatever their length, ending in one LF of their own or one added.
TEST_F(LogFileTest, StampsAndTextsOfMessages)
{
    const std::string longText(100000, 'x');
    const std::string longLevelName(3000, 'L');
    std::vector<MessageWriter> blocks(360010);
    blocks[0] = serverData(longLevelName).print(3, "").print(3, "no line end").print(3, "two\nlines\n\n");
    blocks[0].print(3, "\xE9t\xE9 \x80\xFF\x7F\x01\r\n").print(3, longText);
    std::string messages = "TIME: 00:00:00 CHAT: \nTIME: 00:00:00 CHAT: no line end\n"
                           "TIME: 00:00:00 CHAT: two\nlines\n\nTIME: 00:00:00 CHAT: \xE9t\xE9 \x80\xFF\x7F\x01\r\n"
                           "TIME: 00:00:00 CHAT: " + longText + "\n";
    const std::vector<std::pair<std::size_t, std::string>> stamps = {
        {9, "00:00:00"},     {10, "00:00:01"},    {599, "00:00:59"},     {600, "00:01:00"},     {610, "00:01:01"},
        {36000, "01:00:00"}, {36010, "01:00:01"}, {360000, "10:00:00"}, {360010, "10:00:01"}};
    for (const auto& [block, stamp] : stamps) {
        blocks[block - 1].print(2, "block " + std::to_string(block) + "\n");
        messages += "TIME: " + stamp + " CLSV: block " + std::to_string(block) + "\n";
    }
    const Bytes recording = demo(blocks);
    write("long.dm2", recording);
    EXPECT_EQ(completedLog({"long.dm2"}, reading("long.dm2")),
              header("long.dm2", recording.size()) + "Map name: " + longLevelName + "\n\n" + messages);
}

TEST_F(LogFileTest, NewLogIsEveryoneReadAndWriteLessTheUmask)
{
    write("a.dm2", demo({MessageWriter().print(2, "a\n")}));
    for (const mode_t fileMask : {mode_t{022}, mode_t{077}, mode_t{002}, mode_t{0}}) {
        SCOPED_TRACE(fileMask);
        std::filesystem::remove(path("kest.log"));
        ASSERT_EQ(run({"a.dm2"}, fileMask).exitCode, 0);
        struct stat status {};
        ASSERT_EQ(::stat(path("kest.log").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0666 & ~fileMask);
    }
}

// A log that cannot be written ends the run with an error and leaves what was there: here a
// folder in its place, then a log that outgrows what the file system takes (eight blocks).
TEST_F(LogFileTest, LogThatCannotBeWrittenEndsTheRunWithAnError)
{
    const std::string writeFailed =
        failed(reading("a.dm2") + "\nWriting kest.log...\n", "Couldn't write logfile kest.log!");
    write("a.dm2", demo({MessageWriter().print(2, "a\n")}));
    write("kest.log/earlier.txt", std::string("earlier\n"));
    const KestRun result = run({"a.dm2"});
    EXPECT_EQ(result.output, writeFailed);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile(path("kest.log/earlier.txt")), "earlier\n");
    EXPECT_EQ(entries(""), 2);
    EXPECT_EQ(entries("kest.log"), 1);

    std::filesystem::remove_all(path("kest.log"));
    write("a.dm2", demo({MessageWriter().print(2, std::string(10000, 'a')).print(3, std::string(10000, 'b'))}));
    const KestRun cutShort = runKeepingLog({"a.dm2"}, "8");
    EXPECT_EQ(cutShort.output, writeFailed);
    EXPECT_EQ(cutShort.exitCode, 1);
}

}  // namespace
}  // namespace kest::e2e
