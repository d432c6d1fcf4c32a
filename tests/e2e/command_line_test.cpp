// The command line and the demo search: which files a run reads, in which order,
// and what it prints when there is nothing to read.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using CommandLineTest = KestTest;

// A demo that says its own name, so the log shows which file was read.
Bytes namedDemo(const std::string& name) { return demo({MessageWriter().print(2, name + "\n")}); }

// The log section of namedDemo(name), after a header group or at the start of the log.
std::string namedLog(const std::string& name)
{
    return header(name, namedDemo(name).size()) + "\nTIME: 00:00:00 CLSV: " + name + "\n";
}

// Asking for help anywhere shows the banner and usage; an argument that matches nothing
// ends the run before any demo is read. Neither touches the log.
TEST_F(CommandLineTest, RunWithNothingToReadPrintsUsageOrOneErrorLine)
{
    write("a.dm2", namedDemo("a.dm2"));
    write("sub/b.dm2", namedDemo("b.dm2"));
    const std::string usage =
        "\nKest 0.60, 98-11-04\nUsage: kest <demoname.dm2>\nWildcards are allowed (i. e. kest *.dm2)\n"
        "\nThe log will be written to kest.log, not displayed as until v0.51\n"
        "\nDisplayed message types: FRAG (frag), CLSV (client/server), CHAT (chat)\n";
    const auto notFound = [](const std::string& pattern) { return "\nERROR: Demofile " + pattern + " not found!\n"; };
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {{}, usage}, {{"-h"}, usage}, {{"--help"}, usage}, {{"--version"}, usage}, {{"a.dm2", "-h"}, usage},
        {{"missing.dm2", "--version"}, usage}, {{"--help", "a.dm2", "*.dm2"}, usage},
        {{"nothing.dm2"}, notFound("nothing.dm2")}, {{"a.dm2", "nope*.dm2"}, notFound("nope*.dm2")},
        {{"missing/*.dm2"}, notFound("missing/*.dm2")}, {{"b.dm2"}, notFound("b.dm2")},
        {{"--HELP", "a.dm2"}, notFound("--HELP")}, {{"%s%n%d.dm2"}, notFound("%s%n%d.dm2")}, {{""}, notFound("")},
    };
    for (const auto& [arguments, output] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const KestRun result = runKeepingLog(arguments);
        EXPECT_EQ(result.output, output);
        EXPECT_EQ(result.exitCode, output == usage ? 0 : 1);
    }
}

// Arguments are taken in the order given, and each one's matches in byte order of their names.
TEST_F(CommandLineTest, ReadsArgumentsInTurnAndMatchesInByteOrder)
{
    for (const std::string name : {"b2.dm2", "\xC3\xA9t\xC3\xA9.dm2", "a.dm2", "B.dm2", "b10.dm2", "_u.dm2"})
        write(name, namedDemo(name));
    const std::vector<std::pair<Arguments, Arguments>> cases = {
        {{"*.dm2"}, {"B.dm2", "_u.dm2", "a.dm2", "b10.dm2", "b2.dm2", "\xC3\xA9t\xC3\xA9.dm2"}},
        {{"b*.dm2", "a.dm2", "B.dm2"}, {"b10.dm2", "b2.dm2", "a.dm2", "B.dm2"}},
        {{"a.dm2", "?.dm2"}, {"a.dm2", "B.dm2", "a.dm2"}},
    };
    for (const auto& [arguments, visited] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        std::string lines;
        std::string log;
        // Each demo ends with a message group, so an empty line starts every later one.
        for (const std::string& name : visited) {
            lines += reading(name);
            log += (log.empty() ? "" : "\n") + namedLog(name);
        }
        EXPECT_EQ(completedLog(arguments, lines), log);
    }
}

// A match is read from the pattern's folder, even with a file of its bare name in the
// working folder; the bare name is what the console and the log show.
TEST_F(CommandLineTest, ReadsAMatchInItsOwnFolder)
{
    const Bytes there = demo({MessageWriter().print(3, "from its folder\n")});
    for (const std::string folder : {"demos", "a/b/demos", ".demos"})
        write(folder + "/match.dm2", there);
    write("match.dm2", namedDemo("decoy in the working folder"));
    // Only the match's own name decides whether it is hidden.
    for (const std::string pattern : {"demos/*.dm2", "./demos/m?tch.dm2", "a/*/demos/*.dm2", ".demos/*.dm2"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(completedLog({pattern}, reading("match.dm2")),
                  header("match.dm2", there.size()) + "\nTIME: 00:00:00 CHAT: from its folder\n");
    }
}

// Folders, pipes and names starting with '.' are no demos: kest passes them by without a
// word, and when it finds nothing else it still completes, with an empty log.
TEST_F(CommandLineTest, SkipsFoldersOtherNonRegularFilesAndDotFiles)
{
    write("folder.dm2/inner.dm2", namedDemo("inner.dm2"));
    write(".hidden.dm2", namedDemo(".hidden.dm2"));
    ASSERT_EQ(::mkfifo(path("pipe.dm2").c_str(), 0644), 0);
    std::filesystem::create_directory_symlink("folder.dm2", path("to-folder.dm2"));
    write("kest.log", namedLog("earlier.dm2"));
    EXPECT_EQ(completedLog({"*.dm2", ".*"}, ""), "");

    // A link to a demo is read under its own name.
    write("good.dm2", namedDemo("good.dm2"));
    std::filesystem::create_symlink("good.dm2", path("link.dm2"));
    EXPECT_EQ(completedLog({"*.dm2", ".hidden.dm2", "folder.dm2"}, reading("good.dm2") + reading("link.dm2")),
              namedLog("good.dm2") + "\n" + header("link.dm2", namedDemo("good.dm2").size()) +
                  "\nTIME: 00:00:00 CLSV: good.dm2\n");
}

// A file that the search finds as a regular file but that cannot be opened for reading.
TEST_F(CommandLineTest, UnopenableDemoEndsTheRun)
{
    const std::string writeOnly = "/proc/sys/vm/drop_caches";
    const int probe = ::open(writeOnly.c_str(), O_RDONLY);
    if (probe >= 0)
        ::close(probe);
    if (!std::filesystem::is_regular_file(writeOnly) || probe >= 0)
        GTEST_SKIP() << "this system has no regular file that cannot be opened for reading at " << writeOnly;

    write("good.dm2", namedDemo("good.dm2"));
    write("later.dm2", namedDemo("later.dm2"));
    const KestRun result = runKeepingLog({"good.dm2", writeOnly, "later.dm2"});
    EXPECT_EQ(result.output,
              failed(reading("good.dm2") + reading("drop_caches"), "Couldn't open demofile drop_caches!"));
    EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
}  // namespace kest::e2e
