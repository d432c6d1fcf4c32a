// The native platform and console on Windows: matches, reads and replaced files in a folder of
// the test's own; the console's writes, where each call's lines arrive in one write of their
// own (standard output is here a pipe of messages, which keeps the bounds of each write); and a
// console that gets the characters themselves, whatever its code page.
#include "driver/console.h"
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

// Standard output made `handle` for as long as it lives.
class StandardOutput {
public:
    explicit StandardOutput(HANDLE handle) : saved_(::GetStdHandle(STD_OUTPUT_HANDLE))
    {
        ::SetStdHandle(STD_OUTPUT_HANDLE, handle);
    }
    ~StandardOutput() { ::SetStdHandle(STD_OUTPUT_HANDLE, saved_); }
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

private:
    HANDLE saved_;
};

// A file or a pipe gets the UTF-8 bytes of each call in one write, with CR LF line ends.
TEST(NativeConsole, EachCallIsOneWriteOfItsBytesWithCrLf)
{
    const std::wstring name = L"\\\\.\\pipe\\kest-console-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE reader = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 1 << 20,
                                             1 << 20, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const HANDLE writer = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    {
        const StandardOutput output(writer);
        const auto console = makeNativeConsole();
        for (const std::string& lines : ConsoleWrites)
            console->write(lines);
    }
    ::CloseHandle(writer);

    const std::vector<std::string> expected = {"\r\n", "Reading \xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.dm2...\r\n",
                                               "\r\nERROR: Demofile nope.dm2 not found!\r\n", std::string(60000, 'x') + "\r\n"};
    std::vector<std::string> received;
    std::vector<char> message(1 << 20);
    DWORD got = 0;
    while (::ReadFile(reader, message.data(), static_cast<DWORD>(message.size()), &got, nullptr))
        received.emplace_back(message.data(), got);
    ::CloseHandle(reader);
    EXPECT_EQ(received, expected);
}

// A screen buffer of its own on the console, so as to leave what the console shows alone.
HANDLE newScreen()
{
    return ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       CONSOLE_TEXTMODE_BUFFER, nullptr);
}

// A console shows the name's characters, not its bytes read in the console's code page (850
// here, as on a Western European Windows): the screen holds "été-日本" whole.
TEST(NativeConsole, ConsoleGetsTheCharactersWhateverItsCodePage)
{
    // Without a console that has screens (Wine gives a program started with no terminal one
    // that has none), the test makes a console of its own.
    HANDLE screen = newScreen();
    bool allocated = false;
    if (screen == INVALID_HANDLE_VALUE) {
        ::FreeConsole();
        allocated = ::AllocConsole() != 0;
        ASSERT_TRUE(allocated) << "no console: system error " << ::GetLastError();
        screen = newScreen();
    }
    ASSERT_NE(screen, INVALID_HANDLE_VALUE) << "system error " << ::GetLastError();
    const UINT codePage = ::GetConsoleOutputCP();
    ASSERT_TRUE(::SetConsoleOutputCP(850));
    {
        const StandardOutput output(screen);
        const auto console = makeNativeConsole();
        console->write(ConsoleWrites[0]);
        console->write(ConsoleWrites[1]);
    }
    ::SetConsoleOutputCP(codePage);
    const std::wstring shown = L"Reading \u00E9t\u00E9-\u65E5\u672C.dm2...";
    std::wstring row(shown.size() + 1, L'\0');
    DWORD read = 0;
    EXPECT_TRUE(::ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, 1}, &read));
    EXPECT_EQ(row, shown + L" ");
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_TRUE(::GetConsoleScreenBufferInfo(screen, &info));
    EXPECT_EQ(info.dwCursorPosition.X, 0);  // each line end took the cursor to the start of the next line
    EXPECT_EQ(info.dwCursorPosition.Y, 2);
    ::CloseHandle(screen);
    if (allocated)
        ::FreeConsole();
}

}  // namespace
}  // namespace kest
