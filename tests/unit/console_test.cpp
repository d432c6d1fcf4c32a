// The console kest writes to: standard output, where each call's lines arrive in one write of
// their own. Here standard output is a channel that keeps the bounds of each write: a socket of
// packets on POSIX, a pipe of messages on Windows. On Windows, a console gets the characters
// themselves, whatever its code page.
#include "driver/console.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace kest {
namespace {

// Lines as the run writes them: an empty one, a name outside ASCII, a line that opens with an
// empty one, and one longer than any a run prints.
const std::vector<std::string> Writes = {
    "\n",
    "Reading \xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.dm2...\n",
    "\nERROR: Demofile nope.dm2 not found!\n",
    std::string(60000, 'x') + "\n",
};

#ifdef _WIN32

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
        for (const std::string& lines : Writes)
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
        console->write(Writes[0]);
        console->write(Writes[1]);
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

#else

// Each call's lines leave in one write: each arrives as one packet.
TEST(NativeConsole, EachCallIsOneWrite)
{
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(::dup2(sockets[0], STDOUT_FILENO), 0);
    {
        const auto console = makeNativeConsole();
        for (const std::string& lines : Writes)
            console->write(lines);
    }
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(sockets[0]);

    std::vector<std::string> received;
    std::vector<char> packet(1 << 17);
    for (ssize_t got; (got = ::recv(sockets[1], packet.data(), packet.size(), 0)) > 0;)
        received.emplace_back(packet.data(), static_cast<std::size_t>(got));
    ::close(sockets[1]);
    EXPECT_EQ(received, Writes);
}

#endif

}  // namespace
}  // namespace kest
