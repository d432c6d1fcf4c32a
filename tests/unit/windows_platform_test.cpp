#include "driver/platform.h"
#include "test_support.h"

#include <gtest/gtest.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>

namespace kest {
namespace {

namespace fs = std::filesystem;

using WindowsPlatform = NativeFolderTest;

// Without regard to case; a folder is a match but no file; the path keeps the pattern's own directory part.
TEST_F(WindowsPlatform, MatchesAndFolders)
{
    for (const char* name : {"b.dm2", "A.DM2", "\xC3\xA9.dm2", "a.txt"})
        makeFile(name);
    fs::create_directory(dir_ / "sub.dm2");
    const std::string folder = dir_.u8string();
    std::string expected;
    for (const char* name : {"A.DM2", "b.dm2", "sub.dm2", "\xC3\xA9.dm2"}) {
        const std::string file = std::string(name) == "sub.dm2" ? " other\n" : " file\n";
        expected += std::string(name) + " " + folder + "/" + name + file;
    }
    EXPECT_EQ(matches(folder + "/*.Dm2"), expected);
    EXPECT_EQ(matches(folder + "\\\xC3\x89.DM2"), "\xC3\xA9.dm2 " + folder + "\\\xC3\xA9.dm2 file\n");
    EXPECT_EQ(matches(folder + "\\*.none"), "");
}

TEST_F(WindowsPlatform, ReadsWhatTheFileHeldWhenOpened)
{
    expectReadAsOpened();

    // Sizes past 4 GiB (a sparse file here) are whole, on 32-bit Windows too.
    const std::uint64_t size = (std::uint64_t{1} << 32) + 10;
    makeFile("large.dm2", "");
    fs::resize_file(fs::u8path(path("large.dm2")), size);
    OpenedFile large = platform_->openFile(path("large.dm2"));
    ASSERT_EQ(large.status, OpenedFile::Status::Opened);
    EXPECT_EQ(large.file->size(), size);
}

// The log is written as given, LF line ends and all; when it cannot be replaced (held open,
// read-only, a folder) the old one stays and no temporary file is left.
TEST_F(WindowsPlatform, ReplacesTheLogWholeOrNotAtAll)
{
    ASSERT_TRUE(replace("kest.log", "one\ntwo\n"));
    ASSERT_TRUE(replace("kest.log", "new\n\n", 2));
    const std::wstring log = fs::u8path(path("kest.log")).wstring();
    const HANDLE held = ::CreateFileW(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(replace("kest.log", "while held\n"));
    ::CloseHandle(held);
    ASSERT_TRUE(::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(replace("kest.log", "while read-only\n"));
    ASSERT_TRUE(::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(contents("kest.log"), "new\n\n");
    fs::create_directory(dir_ / "folder.log");
    EXPECT_FALSE(replace("folder.log", "log\n"));
    EXPECT_EQ(matches(path("*.log")),
              "folder.log " + path("folder.log") + " other\nkest.log " + path("kest.log") + " file\n");
}

}  // namespace
}  // namespace kest
