// What a run of kest.exe does that only Windows has: patterns with '\' between folders or a
// drive's ':', and a kest.log that another program holds open.

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using WindowsRunTest = KestTest;

// A directory part ends at the last '\' or '/', or at a drive's ':', and the match is read from there.
TEST_F(WindowsRunTest, ReadsAMatchInTheFolderOfABackslashOrDrivePattern)
{
    const Bytes there = demoOf({MessageWriter().print(3, "from its folder\n")});
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
