// A run of kest from its command line to its log: which files it reads, in which
// order, what it prints when there is nothing to read; kest.log's lines, their
// grouping and time stamps, and what becomes of the file when it cannot be written.

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <tuple>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using RunTest = KestTest;

const std::string Usage =
    "\nKest 0.60, 98-11-04\nUsage: kest <demoname.dm2>\nWildcards are allowed (i. e. kest *.dm2)\n"
    "\nThe log will be written to kest.log, not displayed as until v0.51\n"
    "\nDisplayed message types: FRAG (frag), CLSV (client/server), CHAT (chat)\n";

// The banner and usage, then the options and exit codes.
const std::string Help = Usage +
                         "\nOptions:\n"
                         "  -k, --keep-going  warn about a file or pattern kest cannot use, and go on\n"
                         "  -j, --json        also write kest.json: who played, who fragged whom with what,\n"
                         "                    and the score, for every demo (JSON Lines)\n"
                         "      --html        also write kest.html: a page of the matches to read in a\n"
                         "                    browser (scoreboards, who fragged whom, the score over time)\n"
                         "  -h, --help        show this help\n"
                         "Demos compressed with gzip (such as *.dm2.gz) are read as they are.\n"
                         "Servers' multi-view recordings (*.mvd2, *.mvd2.gz) are read too.\n"
                         "\nExit codes: 0 log written, 1 error (no log written),\n"
                         "            2 log written, but -k left something out (see the warnings)\n";

// Asking for help anywhere shows the banner, usage, options and exit codes; asking for the
// version, or keeping going (-k) with nothing to read, the banner and usage alone; an argument
// that matches nothing ends the run before any demo is read. None touches the log.
TEST_F(RunTest, RunWithNothingToReadPrintsUsageOrOneErrorLine)
{
    write("a.dm2", namedDemo("a.dm2"));
    write("sub/b.dm2", namedDemo("b.dm2"));
    const std::string& usage = Usage;
    const auto notFound = [](const std::string& pattern) { return "\nERROR: Demofile " + pattern + " not found!\n"; };
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {{}, usage}, {{"-h"}, Help}, {{"--help"}, Help}, {{"--version"}, usage}, {{"a.dm2", "-h"}, Help},
        {{"missing.dm2", "--version"}, usage}, {{"--help", "a.dm2", "*.dm2"}, Help}, {{"--version", "-h"}, Help},
        {{"-k"}, usage}, {{"--keep-going"}, usage}, {{"-k", "-k", "--keep-going"}, usage},
        {{"-k", "missing.dm2", "-h"}, Help}, {{"-K", "a.dm2"}, notFound("-K")},
        {{"a.dm2", "--keep-going=yes"}, notFound("--keep-going=yes")},
        {{"nothing.dm2"}, notFound("nothing.dm2")}, {{"a.dm2", "nope*.dm2"}, notFound("nope*.dm2")},
        {{"missing/*.dm2"}, notFound("missing/*.dm2")}, {{"b.dm2"}, notFound("b.dm2")},
        {{"--HELP", "a.dm2"}, notFound("--HELP")}, {{"%s%n%d.dm2"}, notFound("%s%n%d.dm2")}, {{""}, notFound("")},
    };
    for (const auto& [arguments, output] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const KestRun result = runKeepingLog(arguments);
        EXPECT_EQ(result.output, output);
        EXPECT_EQ(result.exitCode, output == usage || output == Help ? 0 : 1);
    }
}

// Both readmes show the help as kest prints it: README.md as it is, README.txt indented.
TEST_F(RunTest, ReadmesShowTheHelp)
{
    std::string indented;
    for (std::size_t start = 1, end; start < Help.size(); start = end + 1) {
        end = Help.find('\n', start);
        indented += (end == start ? "" : "    ") + Help.substr(start, end - start + 1);
    }
    for (const auto& [readme, text] : {std::pair{"README.md", Help.substr(1)}, {"packaging/README.txt", indented}}) {
        const std::string shown = readFile(fs::path(KEST_SOURCE_DIR) / readme).value_or("");
        EXPECT_NE(shown.find(text), std::string::npos) << readme << " does not show the help:\n" << text;
    }
}

// Arguments are taken in the order given, and each one's matches in byte order of their
// whole paths, as a shell sorts them: quoting a pattern never changes the log. The folders
// here sort the other way from the names of the files in them. A pattern matches a file's own
// name, never the short 8.3 alias that Windows keeps beside a long one (notes.dm2_old is
// NOTES~1.DM2 to Windows' search, which *.dm2 would find). Windows matches without regard to
// case, by the rules of its own search ("*" and "*.*" match every name, "*." the names without
// a dot; '?' matches one character, or none before a dot or at the end) and in the last name only.
TEST_F(RunTest, ReadsArgumentsInTurnAndMatchesInByteOrder)
{
    const Arguments names = {"b2.dm2", "\xC3\xA9t\xC3\xA9.dm2", "a.dm2", "B.dm2", "b10.dm2", "_u.dm2",
                             "\xCE\xA9mega.dm2", "\xE6\x97\xA5\xE6\x9C\xAC.dm2", "\xF0\x9F\x8E\xAE.dm2"};
    for (const std::string& name : names)
        write(name, namedDemo(name));
    for (const std::string path : {"a/b.dm2", "z/a.dm2", "d1/y.dm2", "d2/x.dm2", "more/A.DM2", "more/duel.Dm2",
                                   "more/x.y.dm2"})
        write(path, namedDemo(fs::path(path).filename().string()));
    for (const std::string folder : {"", "more/"})
        for (const std::string name : {"notes.dm2_old", "match.dm2~", "x.dm2x", "duel.dm2 (1)"})
            write(folder + name, Bytes(name.begin(), name.end()));
    const Arguments dos = {"duel.dm2", "duel1.dm2", "duel12.dm2", "nodot", "x.y.dm2"};
    for (const std::string& name : OnWindows ? dos : Arguments{})
        write("dos/" + name, namedDemo(name));
    const std::optional<Arguments> none;
    const Arguments sorted = {"B.dm2", "_u.dm2", "a.dm2", "b10.dm2", "b2.dm2", names[1], names[6], names[7], names[8]};
    // The arguments; the demos read on POSIX systems and on Windows, where the row holds there.
    const std::vector<std::tuple<Arguments, std::optional<Arguments>, std::optional<Arguments>>> cases = {
        {{"*.dm2"}, sorted, sorted},
        {{"b*.dm2", "a.dm2", "B.dm2"}, Arguments{"b10.dm2", "b2.dm2", "a.dm2", "B.dm2"},
         Arguments{"B.dm2", "b10.dm2", "b2.dm2", "a.dm2", "B.dm2"}},
        {{"a.dm2", "?.dm2"}, Arguments{"a.dm2", "B.dm2", "a.dm2"}, Arguments{"a.dm2", "B.dm2", "a.dm2"}},
        {{names[7]}, Arguments{names[7]}, Arguments{names[7]}},
        {{"more/*.dm2"}, Arguments{"x.y.dm2"}, Arguments{"A.DM2", "duel.Dm2", "x.y.dm2"}},
        {{"*/*.dm2"}, Arguments{"b.dm2", "y.dm2", "x.dm2", "x.y.dm2", "a.dm2"}, none},
        {{"d?/*.dm2", "?/?.dm2"}, Arguments{"y.dm2", "x.dm2", "b.dm2", "a.dm2"}, none},
        {{"A.DM2", "?.DM2"}, none, Arguments{"a.dm2", "B.dm2", "a.dm2"}},
        {{"\xC3\x89T\xC3\x89.DM2"}, none, Arguments{names[1]}},
        {{"dos\\*"}, none, dos},
        {{"dos\\*.*"}, none, dos},
        {{"dos\\*."}, none, Arguments{"nodot"}},
        {{"dos\\DUEL?.DM2"}, none, Arguments{"duel.dm2", "duel1.dm2"}},
        {{"dos\\duel??.dm?"}, none, Arguments{"duel.dm2", "duel1.dm2", "duel12.dm2"}},
        {{"dos\\*.dm2"}, none, Arguments{"duel.dm2", "duel1.dm2", "duel12.dm2", "x.y.dm2"}},
        {{"dos\\x.*"}, none, Arguments{"x.y.dm2"}},
    };
    for (const auto& [arguments, onPosix, onWindows] : cases)
        if (const std::optional<Arguments>& visited = OnWindows ? onWindows : onPosix)
            expectReadInOrder(arguments, *visited);
}

// Keeping going (-k, --keep-going, anywhere and as often as given): each pattern that matches
// nothing is a warning as the patterns are expanded, before any demo is read, and the log is
// written, with exit code 2. Without such a warning the run is as without the option.
TEST_F(RunTest, KeepsGoingPastPatternsThatMatchNothing)
{
    write("a.dm2", namedDemo("a.dm2"));
    write("b.dm2", namedDemo("b.dm2"));
    const std::string both = reading("a.dm2") + reading("b.dm2");
    const std::string bothLog = namedLog("a.dm2") + "\n" + namedLog("b.dm2");
    const std::vector<std::tuple<Arguments, std::string, std::string>> cases = {
        {{"-k", "a.dm2", "nope.dm2", "b.dm2"}, notFoundWarning("nope.dm2"), both},
        {{"a.dm2", "-k", "nope*.dm2", "b.dm2"}, notFoundWarning("nope*.dm2"), both},
        {{"missing/*.dm2", "a.dm2", "%s%n.dm2", "b.dm2", "--keep-going"},
         notFoundWarning("missing/*.dm2") + notFoundWarning("%s%n.dm2"), both},
        {{"--keep-going", "a.dm2", "", "-k", "b.dm2", "-k"}, notFoundWarning(""), both},
        {{"-k", "a.dm2", "b.dm2"}, "", both},
        {{"-k", "x.dm2", "y*.dm2", "--keep-going"}, notFoundWarning("x.dm2") + notFoundWarning("y*.dm2"), ""},
    };
    for (const auto& [arguments, searchLines, lines] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        write("kest.log", namedDemo("earlier"));
        EXPECT_EQ(completedLog(arguments, lines, searchLines.empty() ? 0 : 2, searchLines), lines.empty() ? "" : bothLog);
    }
}

// A match is read from the pattern's folder, even with a file of its bare name in the
// working folder; the bare name is what the console and the log show.
TEST_F(RunTest, ReadsAMatchInItsOwnFolder)
{
    const Bytes there = demoOf({MessageWriter().print(3, "from its folder\n")});
    for (const std::string folder : {"demos", "a/b/demos", ".demos"})
        write(folder + "/match.dm2", there);
    write("match.dm2", namedDemo("decoy in the working folder"));
    // Only the match's own name decides whether it is hidden. Windows expands wildcards in the last name only.
    for (const std::string pattern :
         {"demos/*.dm2", "./demos/m?tch.dm2", OnWindows ? "a/b/demos/*.dm2" : "a/*/demos/*.dm2", ".demos/*.dm2"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(completedLog({pattern}, reading("match.dm2")),
                  header("match.dm2", there.size()) + "\nTIME: 00:00:00 CHAT: from its folder\n");
    }
}

// Folders, pipes and names starting with '.' are no demos: kest passes them by without a
// word, and when it finds nothing else it still completes, with an empty log.
TEST_F(RunTest, SkipsFoldersOtherNonRegularFilesAndDotFiles)
{
    write("folder.dm2/inner.dm2", namedDemo("inner.dm2"));
    write(".hidden.dm2", namedDemo(".hidden.dm2"));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(path("pipe.dm2").c_str(), 0644), 0);
    fs::create_directory_symlink("folder.dm2", path("to-folder.dm2"));
#endif
    write("kest.log", namedDemo("earlier"));
    EXPECT_EQ(completedLog({"*.dm2", ".*", "folder.dm2"}, ""), "");
#ifndef _WIN32
    // A link to a demo is read under its own name.
    write("good.dm2", namedDemo("good.dm2"));
    fs::create_symlink("good.dm2", path("link.dm2"));
    EXPECT_EQ(completedLog({"*.dm2", ".hidden.dm2", "folder.dm2"}, reading("good.dm2") + reading("link.dm2")),
              namedLog("good.dm2") + "\n" + header("link.dm2", namedDemo("good.dm2").size()) +
                  "\nTIME: 00:00:00 CLSV: good.dm2\n");
#endif
}

// A file that the search finds as a regular file but that cannot be opened for reading.
TEST_F(RunTest, UnopenableDemoEndsTheRunOrIsLeftOut)
{
    const std::string writeOnly = "/proc/sys/vm/drop_caches";
    if (!fs::is_regular_file(writeOnly) || std::ifstream(writeOnly))
        GTEST_SKIP() << "this system has no regular file that cannot be opened for reading at " << writeOnly;

    write("good.dm2", namedDemo("good.dm2"));
    write("later.dm2", namedDemo("later.dm2"));
    const KestRun result = runKeepingLog({"good.dm2", writeOnly, "later.dm2"});
    EXPECT_EQ(result.output,
              failed(reading("good.dm2") + reading("drop_caches"), "Couldn't open demofile drop_caches!"));
    EXPECT_EQ(result.exitCode, 1);

    // Keeping going, the file adds nothing to the log, not even its name.
    EXPECT_EQ(completedLog({"good.dm2", writeOnly, "-k", "later.dm2"},
                           reading("good.dm2") + reading("drop_caches") + openWarning("drop_caches") +
                               reading("later.dm2"),
                           2),
              namedLog("good.dm2") + "\n" + namedLog("later.dm2"));
}


// One empty line at each switch between header lines and message lines, and only there.
// Prints of levels other than 1 to 3 show nothing, forge no header line and start no group.
TEST_F(RunTest, GroupsTheDemosOfOneRun)
{
    MessageWriter others = MessageWriter().print(0, "level zero\n");
    for (const std::uint8_t level : {4, 6, 7, 100, 101, 255})
        others.print(level, level == 100 ? "forged.dm2\n" : "level " + std::to_string(level) + "\n");
    const Bytes first = demoOf({serverData(34, 0, "Arena").configString(33, "maps/arena1.bsp").configString(34, "x/y"),
                              MessageWriter().print(2, "Alpha entered the game\n"),
                              MessageWriter().print(1, "Alpha was hit by Beta\n").print(3, "Beta: hello\n")});
    const Bytes second =
        demoOf({serverData(34, 0, "Second").configString(33, "maps/\xE9mile.BsP").configString(33, "maps/"), others});
    const Bytes third = demoOf({MessageWriter(others).print(1, "third frag\n")});
    std::string lines;
    const std::vector<std::pair<std::string, Bytes>> demos = {
        {"1.dm2", first}, {"2.dm2", second}, {"3.dm2", third}, {"4-empty.dm2", {}},
        {"5-marker-only.dm2", DemoWriter().endMarker().bytes()}};
    for (const auto& [name, bytes] : demos) {
        write(name, bytes);
        lines += reading(name);
    }
    EXPECT_EQ(completedLog({"*.dm2"}, lines),
              header("1.dm2", first.size()) + "Map name: Arena\nMap filename: ARENA1.BSP\n\n"
                  "TIME: 00:00:00 CLSV: Alpha entered the game\n"
                  "TIME: 00:00:00 FRAG: Alpha was hit by Beta\n"
                  "TIME: 00:00:00 CHAT: Beta: hello\n\n" +
                  header("2.dm2", second.size()) + "Map name: Second\nMap filename: \xE9MILE.BSP\nMap filename: \n" +
                  header("3.dm2", third.size()) + "\nTIME: 00:00:00 FRAG: third frag\n\n" +
                  header("4-empty.dm2", 0) + header("5-marker-only.dm2", 4));
}

// A block is a tenth of a second; hours, minutes and seconds take at least two digits each.
// Texts pass through byte for byte whatever their length, ending in one LF of their own or one added.
TEST_F(RunTest, StampsAndTextsOfMessages)
{
    const std::string longText(100000, 'x');
    std::vector<MessageWriter> blocks(360010);
    blocks[0] = serverData(34, 0, longText).print(3, "").print(3, "no line end").print(3, "two\nlines\n\n");
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
    const Bytes recording = demoOf(blocks);
    write("long.dm2", recording);
    EXPECT_EQ(completedLog({"long.dm2"}, reading("long.dm2")),
              header("long.dm2", recording.size()) + "Map name: " + longText + "\n\n" + messages);
}

TEST_F(RunTest, NewLogIsEveryoneReadAndWriteLessTheUmask)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: Windows has no file mode and no umask";
#else
    write("a.dm2", demoOf({MessageWriter().print(2, "a\n")}));
    for (const char* fileMask : {"022", "077", "002", "0"}) {
        SCOPED_TRACE(fileMask);
        fs::remove(path("kest.log"));
        ASSERT_EQ(run({"a.dm2"}, fileMask).exitCode, 0);
        EXPECT_EQ(fs::status(path("kest.log")).permissions(), fs::perms(0666 & ~std::stoi(fileMask, nullptr, 8)));
    }
#endif
}

const std::string WriteFailed = failed(reading("a.dm2") + "\nWriting kest.log...\n", "Couldn't write logfile kest.log!");

// A log that cannot be written ends the run with an error and leaves what was there: here a folder in its place.
TEST_F(RunTest, LogThatCannotBeWrittenEndsTheRunWithAnError)
{
    write("a.dm2", demoOf({MessageWriter().print(2, "a\n")}));
    write("kest.log/earlier.txt", Bytes{'e'});
    const KestRun result = run({"a.dm2"});
    EXPECT_EQ(result.output, WriteFailed);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile(path("kest.log/earlier.txt")), "e");
    EXPECT_EQ(entries(""), 2);
    EXPECT_EQ(entries("kest.log"), 1);
    // Keeping going past other errors, a log that cannot be written still ends the run with 1.
    const KestRun keptGoing = run({"-k", "a.dm2", "nope.dm2"});
    EXPECT_EQ(keptGoing.output, notFoundWarning("nope.dm2") + WriteFailed);
    EXPECT_EQ(keptGoing.exitCode, 1);
}

// Here a log that outgrows what the file system takes (eight blocks).
TEST_F(RunTest, LogThatOutgrowsTheFileSizeLimitEndsTheRunWithAnError)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: Windows has no file size limit of a process";
#else
    write("a.dm2", demoOf({MessageWriter().print(2, std::string(10000, 'a')).print(3, std::string(10000, 'b'))}));
    const KestRun cutShort = runKeepingLog({"a.dm2"}, "8");
    EXPECT_EQ(cutShort.output, WriteFailed);
    EXPECT_EQ(cutShort.exitCode, 1);
#endif
}

// kest.json and then kest.html go with the log: written after it, whole or not at all, and only
// when it is. Neither option changes what the other files hold.
TEST_F(RunTest, PageGoesWithTheLogAndChangesNoOtherFile)
{
    const std::string bytes = readFile(fs::path(KEST_EXAMPLES_DIR) / "cistern-duel.dm2").value_or("");
    write("duel.dm2", Bytes(bytes.begin(), bytes.end()));
    const std::string log = completedLog({"duel.dm2"}, reading("duel.dm2")).value_or("");
    ASSERT_EQ(run({"duel.dm2", "-j"}).exitCode, 0);
    const std::optional<std::string> json = readFile(path("kest.json"));
    ASSERT_TRUE(json && !log.empty());
    std::optional<std::string> page;
    const std::string notFound = notFoundWarning("nope.dm2");
    const std::string both = "Writing kest.json...\nWriting kest.html...\n";
    // The arguments; the lines before the demo's and after the log's.
    for (const auto& [arguments, searchLines, written] : std::vector<std::tuple<Arguments, std::string, std::string>>{
             {{"duel.dm2", "--html"}, "", "Writing kest.html...\n"},
             {{"--html", "--json", "duel.dm2"}, "", both},
             {{"--html", "-k", "nope.dm2", "duel.dm2"}, notFound, "Writing kest.html...\n"}}) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        fs::remove(path("kest.html"));
        fs::remove(path("kest.json"));
        const KestRun result = run(arguments);
        EXPECT_EQ(result.output,
                  searchLines + "\n" + reading("duel.dm2") + "\nWriting kest.log...\n" + written + "\n# seconds elapsed\n");
        EXPECT_EQ(result.exitCode, searchLines.empty() ? 0 : 2);
        EXPECT_EQ(this->log(), log);
        EXPECT_EQ(readFile(path("kest.json")), written == both ? json : std::nullopt);
        const std::string html = readFile(path("kest.html")).value_or("");
        EXPECT_TRUE(html.rfind("<!DOCTYPE html>\n", 0) == 0 && html.size() > 8 && html.substr(html.size() - 8) == "</html>\n");
        EXPECT_EQ(html, page.value_or(html)) << "the page depends on the other options";
        page = html;
    }

    // No log, no page; a page that cannot be written ends the run after the log and kest.json.
    EXPECT_EQ(runKeepingLog({"--html", "nope.dm2"}).output, "\nERROR: Demofile nope.dm2 not found!\n");
    fs::remove(path("kest.html"));
    write("kest.html/earlier.txt", Bytes{'e'});
    const KestRun unwritable = run({"--html", "duel.dm2", "--json"});
    EXPECT_EQ(unwritable.output, failed(reading("duel.dm2") + "\nWriting kest.log...\n" + both,
                                        "Couldn't write logfile kest.html!"));
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(readFile(path("kest.html/earlier.txt")), "e");
    EXPECT_EQ(this->log(), log);
    EXPECT_EQ(readFile(path("kest.json")), json);
}

}  // namespace
}  // namespace kest::e2e
