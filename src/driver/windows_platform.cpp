#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "driver/console.h"
#include "driver/long_name_match.h"
#include "driver/platform.h"
#include "driver/sized_input_file.h"

namespace kest {
namespace {

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), length);
    return converted;
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), length, nullptr,
                          nullptr);
    return converted;
}

// The pattern up to and with its last separator, or a drive's colon: the folder its matches are in.
std::string directoryPart(const std::string& pattern)
{
    const std::size_t end = pattern.find_last_of("\\/:");
    return end == std::string::npos ? std::string() : pattern.substr(0, end + 1);
}

// Closes a system handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (valid())
            ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes it now, reporting whether that succeeded.
    bool close()
    {
        const bool closed = ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }
    // Hands the handle on, no longer closing it.
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

bool writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), wanted, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// A fresh file beside `path`, for no one else to open until it is complete.
HANDLE createTemporaryBeside(const std::string& path, std::wstring& temporaryPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = wide(path + "." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(attempt) +
                             ".tmp");
        const HANDLE file = ::CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A demo file read with the system's read call, with sizes of 64 bits on 32-bit Windows too.
class WindowsInputFile final : public SizedInputFile {
public:
    WindowsInputFile(HANDLE file, std::uint64_t size) : SizedInputFile(size), file_(file) {}

private:
    std::optional<std::size_t> readSome(std::uint8_t* into, std::size_t wanted) override
    {
        DWORD got = 0;
        if (!::ReadFile(file_.get(), into, static_cast<DWORD>(std::min<std::size_t>(wanted, 1u << 30)), &got, nullptr))
            return std::nullopt;
        return got;
    }

    Handle file_;
};

class WindowsPlatform final : public Platform {
public:
    // Windows' search compares names without regard to case, as Windows users expect. But it
    // also matches a pattern against a file's short 8.3 alias, which the user never sees (to
    // *.dm2, notes.dm2_old is NOTES~1.DM2), and how it matches differs between file systems:
    // a pattern with wildcards is matched here, by Windows' rules, against the long name of
    // each entry in its folder. A name without them is found as the system finds it.
    std::vector<DirectoryEntry> findMatches(const std::string& pattern) override
    {
        const std::string folder = directoryPart(pattern);
        const std::wstring lastName = wide(pattern.substr(folder.size()));
        const bool wildcards = hasWildcards(lastName);
        std::vector<DirectoryEntry> entries;
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileExW(wide(wildcards ? folder + "*" : pattern).c_str(), FindExInfoBasic,
                                                 &found, FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE)
            return entries;
        do {
            if (wildcards && !longNameMatches(lastName, found.cFileName))
                continue;
            std::string name = utf8(found.cFileName);
            entries.push_back(DirectoryEntry{folder + name, std::move(name)});
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return entries;
    }

    OpenedFile openFile(const std::string& path) override
    {
        // Others may go on writing or even remove the demo while it is read.
        const std::wstring widePath = wide(path);
        const HANDLE file = ::CreateFileW(widePath.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
            const bool regular = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
            return {regular ? OpenedFile::Status::Failed : OpenedFile::Status::NotAFile, nullptr};
        }
        Handle opened(file);
        LARGE_INTEGER size;
        if (::GetFileType(file) != FILE_TYPE_DISK)
            return {OpenedFile::Status::NotAFile, nullptr};
        if (!::GetFileSizeEx(file, &size))
            return {OpenedFile::Status::Failed, nullptr};
        return {OpenedFile::Status::Opened,
                std::make_unique<WindowsInputFile>(opened.release(), static_cast<std::uint64_t>(size.QuadPart))};
    }

    bool replaceFile(const std::string& path, FileContent& content) override
    {
        // A log marked read-only stays as it is, whatever the file system would allow.
        const std::wstring widePath = wide(path);
        const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return false;
        std::wstring temporaryPath;
        Handle temporary(createTemporaryBeside(path, temporaryPath));
        if (!temporary.valid())
            return false;
        const bool written =
            content.writeWith([&temporary](std::string_view piece) { return writeAll(temporary.get(), piece); });
        if (temporary.close() && written &&
            ::MoveFileExW(temporaryPath.c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        ::DeleteFileW(temporaryPath.c_str());
        return false;
    }

    std::int64_t milliseconds() override { return static_cast<std::int64_t>(::GetTickCount64()); }
};

// Standard output. A console gets each call's lines as UTF-16 in one call, which it shows
// right whatever its code page: Windows 7 and 8.1 show UTF-8 as mojibake when it comes in
// pieces, as the C runtime writes it, one byte at a time. A file or a pipe gets the UTF-8
// bytes in one write. Both get CR LF line ends, as Windows programs write text.
class WindowsConsole final : public Console {
public:
    WindowsConsole() : output_(::GetStdHandle(STD_OUTPUT_HANDLE))
    {
        DWORD mode = 0;
        isConsole_ = ::GetConsoleMode(output_, &mode) != 0;
    }

    void write(std::string_view lines) override
    {
        std::string text;
        text.reserve(lines.size() + 16);
        for (const char c : lines) {
            if (c == '\n')
                text += '\r';
            text += c;
        }
        if (isConsole_)
            writeToConsole(wide(text));
        else
            writeAll(output_, text);
    }

private:
    // Windows 7's console takes a call's characters into a heap of 64 KiB that it shares with
    // others: a text longer than any line kest prints goes in pieces of at most 16 KiB.
    void writeToConsole(std::wstring_view text) const
    {
        constexpr std::size_t MaxCharacters = 8192;
        while (!text.empty()) {
            auto wanted = static_cast<DWORD>(std::min(text.size(), MaxCharacters));
            if (wanted < text.size() && IS_HIGH_SURROGATE(text[wanted - 1]))
                --wanted;  // a character of two UTF-16 units stays whole
            DWORD written = 0;
            if (!::WriteConsoleW(output_, text.data(), wanted, &written, nullptr) || written == 0)
                return;
            text.remove_prefix(written);
        }
    }

    HANDLE output_;
    bool isConsole_;
};

}  // namespace

// The comparison the file system makes of names, through the system's table of capitals.
bool sameLetterAnyCase(wchar_t a, wchar_t b)
{
    return a == b || ::CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

std::unique_ptr<Platform> makeNativePlatform()
{
    return std::make_unique<WindowsPlatform>();
}

std::unique_ptr<Console> makeNativeConsole()
{
    return std::make_unique<WindowsConsole>();
}

// The command line as the system has it, wide: the C runtime's narrow one would have
// lost the letters outside the code page, and may have expanded wildcards already.
std::vector<std::string> nativeArguments(int, char**)
{
    int count = 0;
    const LPWSTR commandLine = ::GetCommandLineW();
    LPWSTR* const arguments = ::CommandLineToArgvW(commandLine, &count);
    std::vector<std::string> converted;
    for (int i = 1; arguments && i < count; ++i)
        converted.push_back(utf8(arguments[i]));
    ::LocalFree(arguments);
    return converted;
}

}  // namespace kest
