// The command line and the demo search: which files a run reads, in which order,
// and what it prints when there is nothing to read.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using CommandLineTest = KestTest;

using Arguments = std::vector<std::string>;

// A demo that says its own name, so the log shows which file was read.
Bytes namedDemo(const std::string& name)
{
    return demo({MessageWriter().print(2, name + "\n")});
}

// The log section that namedDemo(name) gives when it follows a header group (or starts the log).
std::string namedDemoLog(const std::string& name)
{
    return "Demo filename: " + name + "\nDemo filesize: " + std::to_string(namedDemo(name).size()) +
           "\n\nTIME: 00:00:00 CLSV: " + name + "\n";
}

std::string readingLines(const std::vector<std::string>& names)
{
    std::string lines;
    for (const std::string& name : names)
        lines += "Reading " + name + "...\n";
    return lines;
}

// The log of a run over named demos: a message group ends each one, so an empty line starts every later one.
std::string namedDemosLog(const std::vector<std::string>& names)
{
    std::string log;
    for (const std::string& name : names)
        log += (log.empty() ? "" : "\n") + namedDemoLog(name);
    return log;
}

class UsageTest : public KestTest, public ::testing::WithParamInterface<Arguments> {};

TEST_P(UsageTest, PrintsBannerAndUsageAndLeavesLogAlone)
{
    write("a.dm2", namedDemo("a.dm2"));
    const KestRun result = runLeavingLogAsItWas(GetParam());
    EXPECT_EQ(result.output, Usage);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, UsageTest,
                         ::testing::Values(Arguments{}, Arguments{"-h"}, Arguments{"--help"}, Arguments{"--version"},
                                           Arguments{"a.dm2", "-h"}, Arguments{"--help", "a.dm2"},
                                           Arguments{"missing.dm2", "--version"},
                                           Arguments{"a.dm2", "*.dm2", "--help"}));

struct NotFoundCase {
    Arguments arguments;
    std::string unmatched;  // as the error line must show it
};

void PrintTo(const NotFoundCase& notFound, std::ostream* out)
{
    *out << ::testing::PrintToString(notFound.arguments);
}

class NotFoundTest : public KestTest, public ::testing::WithParamInterface<NotFoundCase> {};

TEST_P(NotFoundTest, PrintsOnlyTheErrorAndWritesNoLog)
{
    write("a.dm2", namedDemo("a.dm2"));
    write("sub/b.dm2", namedDemo("b.dm2"));
    const KestRun result = runLeavingLogAsItWas(GetParam().arguments);
    EXPECT_EQ(result.output, "\nERROR: Demofile " + GetParam().unmatched + " not found!\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, NotFoundTest,
    ::testing::Values(NotFoundCase{{"nothing.dm2"}, "nothing.dm2"},
                      NotFoundCase{{"a.dm2", "nope*.dm2"}, "nope*.dm2"},
                      NotFoundCase{{"nope?.dm2", "a.dm2"}, "nope?.dm2"},
                      NotFoundCase{{"a.dm2", "sub/*.dm2", "sub/[xyz].dm2"}, "sub/[xyz].dm2"},
                      NotFoundCase{{"missing/*.dm2"}, "missing/*.dm2"}, NotFoundCase{{"b.dm2"}, "b.dm2"},
                      NotFoundCase{{"--HELP", "a.dm2"}, "--HELP"},
                      NotFoundCase{{"%s%n%d.dm2"}, "%s%n%d.dm2"}, NotFoundCase{{""}, ""}));

struct OrderCase {
    Arguments arguments;
    std::vector<std::string> visited;
};

void PrintTo(const OrderCase& order, std::ostream* out)
{
    *out << ::testing::PrintToString(order.arguments);
}

class VisitOrderTest : public KestTest, public ::testing::WithParamInterface<OrderCase> {};

// Arguments are taken in the order given, and each one's matches in byte order of their names.
TEST_P(VisitOrderTest, ReadsArgumentsInTurnAndMatchesInByteOrder)
{
    for (const std::string name : {"b2.dm2", "\xC3\xA9t\xC3\xA9.dm2", "a.dm2", "B.dm2", "b10.dm2", "_u.dm2"})
        write(name, namedDemo(name));
    const KestRun result = run(GetParam().arguments);
    EXPECT_EQ(maskedOutput(result), completedOutput(readingLines(GetParam().visited)));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), namedDemosLog(GetParam().visited));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, VisitOrderTest,
    ::testing::Values(OrderCase{{"*.dm2"}, {"B.dm2", "_u.dm2", "a.dm2", "b10.dm2", "b2.dm2", "\xC3\xA9t\xC3\xA9.dm2"}},
                      OrderCase{{"b*.dm2", "a.dm2", "B.dm2"}, {"b10.dm2", "b2.dm2", "a.dm2", "B.dm2"}},
                      OrderCase{{"b?.dm2"}, {"b2.dm2"}}, OrderCase{{"[ab]*"}, {"a.dm2", "b10.dm2", "b2.dm2"}},
                      OrderCase{{"*[0-9].dm2", "_u.dm2"}, {"b10.dm2", "b2.dm2", "_u.dm2"}},
                      OrderCase{{"a.dm2", "?.dm2"}, {"a.dm2", "B.dm2", "a.dm2"}}));

struct DirectoryPartCase {
    std::string folder;
    std::string pattern;
    bool sameNameInWorkingFolder;
};

void PrintTo(const DirectoryPartCase& directoryPart, std::ostream* out)
{
    *out << directoryPart.pattern << (directoryPart.sameNameInWorkingFolder ? ", same name here" : "");
}

class DirectoryPartTest : public KestTest, public ::testing::WithParamInterface<DirectoryPartCase> {};

// The match is read from the pattern's folder; the bare name is what the console and the log show.
TEST_P(DirectoryPartTest, ReadsTheMatchInItsOwnFolder)
{
    const Bytes there = demo({MessageWriter().print(3, "from the demos folder\n")});
    write(GetParam().folder + "/match.dm2", there);
    if (GetParam().sameNameInWorkingFolder)
        write("match.dm2", namedDemo("decoy in the working folder"));
    const KestRun result = run({GetParam().pattern});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading match.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "Demo filename: match.dm2\nDemo filesize: " + std::to_string(there.size()) +
                         "\n\nTIME: 00:00:00 CHAT: from the demos folder\n");
}

INSTANTIATE_TEST_SUITE_P(Patterns, DirectoryPartTest,
                         ::testing::Values(DirectoryPartCase{"demos", "demos/*.dm2", false},
                                           DirectoryPartCase{"demos", "demos/*.dm2", true},
                                           DirectoryPartCase{"demos", "./demos/m?tch.dm2", true},
                                           DirectoryPartCase{"demos", "demos/match.dm2", true},
                                           DirectoryPartCase{"demos", "de*/*", true},
                                           DirectoryPartCase{"a/b/demos", "a/*/demos/*.dm2", true},
                                           // Only the match's own name decides whether it is hidden.
                                           DirectoryPartCase{".demos", ".demos/*.dm2", true}));

// Folders, pipes and names starting with '.' are no demos: kest passes them by without a word.
TEST_F(CommandLineTest, SkipsFoldersOtherNonRegularFilesAndDotFiles)
{
    write("good.dm2", namedDemo("good.dm2"));
    write("folder.dm2/inner.dm2", namedDemo("inner.dm2"));
    write(".hidden.dm2", namedDemo(".hidden.dm2"));
    ASSERT_EQ(::mkfifo(path("pipe.dm2").c_str(), 0644), 0);
    std::filesystem::create_directory_symlink("folder.dm2", path("to-folder.dm2"));
    std::filesystem::create_symlink("good.dm2", path("link.dm2"));

    const KestRun result = run({"*.dm2", ".hidden.dm2", ".*", "folder.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading good.dm2...\nReading link.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    // The link's bytes are good.dm2's, under its own name.
    EXPECT_EQ(log(), namedDemoLog("good.dm2") + "\nDemo filename: link.dm2\nDemo filesize: " +
                         std::to_string(namedDemo("good.dm2").size()) + "\n\nTIME: 00:00:00 CLSV: good.dm2\n");}

// Every match was skipped: the run still ends normally and leaves an empty log in place of the earlier one.
TEST_F(CommandLineTest, RunWithEverythingSkippedWritesAnEmptyLog)
{
    write("only.dm2/inner.dm2", namedDemo("inner.dm2"));
    write(".hidden.dm2", namedDemo(".hidden.dm2"));
    write("kest.log", namedDemoLog("earlier.dm2"));
    const KestRun result = run({"*.dm2", ".hidden.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput(""));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), "");
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
    const KestRun result = runLeavingLogAsItWas({"good.dm2", writeOnly, "later.dm2"});
    EXPECT_EQ(result.output, failedOutput("Reading good.dm2...\nReading drop_caches...\n",
                                       "Couldn't open demofile drop_caches!"));
    EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
}  // namespace kest::e2e
