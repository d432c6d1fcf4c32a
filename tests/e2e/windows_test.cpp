// What a run of kest.exe does that only Windows has: patterns matched without regard to
// case, by the rules of Windows' search and with '\' between folders, names outside ASCII,
// and a kest.log that another program holds open.

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using WindowsRunTest = KestTest;

// Each match shows the name it has on disk, and the matches go in byte order of those names.
TEST_F(WindowsRunTest, MatchesWithoutRegardToCase)
{
    for (const std::string name : {"b.dm2", "Demo.DM2", "a.Dm2", "other.txt"})
        write(name, namedDemo(name));
    const std::vector<std::pair<Arguments, Arguments>> cases = {
        {{"*.dm2"}, {"Demo.DM2", "a.Dm2", "b.dm2"}},
        {{"DEMO.dm2", "A.DM2"}, {"Demo.DM2", "a.Dm2"}},
        {{"?.DM2"}, {"a.Dm2", "b.dm2"}},
    };
    for (const auto& [arguments, visited] : cases)
        expectReadInOrder(arguments, visited);
}

// Wildcards as Windows' own search takes them, on long names: "*" and "*.*" match every name,
// "*." the names without a dot; '?' matches one character, or none before a dot or at the end.
TEST_F(WindowsRunTest, MatchesByTheRulesOfWindowsSearch)
{
    for (const std::string name : {"duel.dm2", "duel1.dm2", "duel12.dm2", "nodot", "x.y.dm2"})
        write("dos\\" + name, namedDemo(name));
    const Arguments all = {"duel.dm2", "duel1.dm2", "duel12.dm2", "nodot", "x.y.dm2"};
    const std::vector<std::pair<Arguments, Arguments>> cases = {
        {{"dos\\*"}, all},
        {{"dos\\*.*"}, all},
        {{"dos\\*."}, {"nodot"}},
        {{"dos\\DUEL?.DM2"}, {"duel.dm2", "duel1.dm2"}},
        {{"dos\\duel??.dm?"}, {"duel.dm2", "duel1.dm2", "duel12.dm2"}},
        {{"dos\\*.dm2"}, {"duel.dm2", "duel1.dm2", "duel12.dm2", "x.y.dm2"}},
        {{"dos\\x.*"}, {"x.y.dm2"}},
    };
    for (const auto& [arguments, visited] : cases)
        expectReadInOrder(arguments, visited);
}

// A directory part ends at the last '\' or '/', or at a drive's ':', and the match is read from there.
TEST_F(WindowsRunTest, ReadsAMatchInTheFolderOfABackslashOrDrivePattern)
{
    const Bytes there = demo({MessageWriter().print(3, "from its folder\n")});
    write("demos\\sub\\match.dm2", there);
    write("match.dm2", namedDemo("decoy in the working folder"));
    const std::string absolute = path("demos").u8string();
    for (const std::string& pattern : {std::string("demos\\sub\\*.dm2"), std::string("demos/sub\\m?tch.DM2"),
                                      std::string(".\\demos\\sub/match.dm2"), absolute + "\\sub\\*.dm2"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(completedLog({pattern}, reading("match.dm2")),
                  header("match.dm2", there.size()) + "\nTIME: 00:00:00 CHAT: from its folder\n");
    }
    // "C:match.dm2" is match.dm2 in the drive's current folder, here the working folder.
    const std::string drive = absolute.substr(0, 2);
    ASSERT_EQ(drive[1], ':') << absolute;
    const std::string decoy = "decoy in the working folder";
    EXPECT_EQ(completedLog({drive + "m*.dm2"}, reading("match.dm2")),
              header("match.dm2", namedDemo(decoy).size()) + "\nTIME: 00:00:00 CLSV: " + decoy + "\n");
    EXPECT_EQ(run({"demos\\missing\\*.dm2"}).output, "\nERROR: Demofile demos\\missing\\*.dm2 not found!\n");
}

// Names outside ASCII are found, opened, and shown in UTF-8 on the console and in the log.
TEST_F(WindowsRunTest, NamesOutsideAscii)
{
    const std::vector<std::string> names = {"\xC3\xA9t\xC3\xA9.dm2", "\xCE\xA9mega.dm2", "\xE6\x97\xA5\xE6\x9C\xAC.dm2",
                                            "\xF0\x9F\x8E\xAE.dm2"};
    for (const std::string& name : names)
        write(name, namedDemo(name));
    std::string lines;
    std::string log;
    for (const std::string& name : names) {
        lines += reading(name);
        log += (log.empty() ? "" : "\n") + namedLog(name);
    }
    EXPECT_EQ(completedLog({"*.dm2"}, lines), log);
    EXPECT_EQ(completedLog({names[2]}, reading(names[2])), namedLog(names[2]));
    EXPECT_EQ(completedLog({"\xC3\x89T\xC3\x89.DM2"}, reading(names[0])), namedLog(names[0]));
}

// Folders and names starting with '.' are no demos: kest passes them by without a word.
TEST_F(WindowsRunTest, SkipsFoldersAndDotFiles)
{
    write("folder.dm2\\inner.dm2", namedDemo("inner.dm2"));
    write(".hidden.dm2", namedDemo(".hidden.dm2"));
    EXPECT_EQ(completedLog({"*.dm2", ".*", "folder.dm2"}, ""), "");
}

// A kest.log that cannot be replaced ends the run with an error, leaving the old log and no temporary file.
TEST_F(WindowsRunTest, LogHeldOpenWithoutSharingOrReadOnly)
{
    write("a.dm2", namedDemo("a.dm2"));
    const std::string writeFailed =
        failed(reading("a.dm2") + "\nWriting kest.log...\n", "Couldn't write logfile kest.log!");
    const std::string earlier = "earlier log\n";
    write("kest.log", Bytes(earlier.begin(), earlier.end()));

    const HANDLE held = ::CreateFileW(path("kest.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const KestRun whileHeld = run({"a.dm2"});
    ::CloseHandle(held);
    EXPECT_EQ(whileHeld.output, writeFailed);
    EXPECT_EQ(whileHeld.exitCode, 1);
    EXPECT_EQ(log(), earlier);
    EXPECT_EQ(entries(""), 2);

    ASSERT_TRUE(::SetFileAttributesW(path("kest.log").c_str(), FILE_ATTRIBUTE_READONLY));
    const KestRun readOnly = run({"a.dm2"});
    ::SetFileAttributesW(path("kest.log").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readOnly.output, writeFailed);
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_EQ(log(), earlier);
    EXPECT_EQ(entries(""), 2);

    // Once released, the log is replaced as usual.
    EXPECT_EQ(completedLog({"a.dm2"}, reading("a.dm2")), namedLog("a.dm2"));
}

}  // namespace
}  // namespace kest::e2e
