#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "demo_writer/demo_writer.h"

namespace kest::e2e {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::demoOf;
using demo_writer::MessageWriter;
using Arguments = std::vector<std::string>;
namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool OnWindows = true;
#else
constexpr bool OnWindows = false;
#endif

// What one run of the kest binary printed and how it ended.
struct KestRun {
    // Standard output, with standard error in the same file: whatever kest prints there is
    // unexpected, and so fails the comparison. The figure of a last line "\n%.2f seconds
    // elapsed\n" shows as "#", but only one exactly as "%.2f" writes it.
    std::string output;
    int exitCode = -1;  // -1 when kest did not exit by itself (a crash, a hang)
    std::optional<double> elapsedSeconds;  // the figure that "#" stands for
    double wallSeconds = 0;  // measured around the whole run, the shell that starts kest included
};

inline std::string reading(const std::string& name) { return "Reading " + name + "...\n"; }

inline std::string warning(const std::string& name, long long offset)
{
    return "WARNING: Demofile " + name + " is damaged at byte " + std::to_string(offset) + ", rest skipped!\n";
}

// The warnings of a run that keeps going (-k) past a pattern or demo.
inline std::string notFoundWarning(const std::string& pattern)
{
    return "WARNING: Demofile " + pattern + " not found!\n";
}

inline std::string openWarning(const std::string& name) { return "WARNING: Couldn't open demofile " + name + "!\n"; }

inline std::string stopsWarning(const std::string& name, long long offset, const std::string& message)
{
    return "WARNING: Demofile " + name + " stops at byte " + std::to_string(offset) + ": " + message + "\n";
}

// The console output of a run that read demos with these lines and completed, after
// these lines of the search (the warnings of patterns that match nothing).
inline std::string completed(const std::string& lines, const std::string& searchLines = "")
{
    return searchLines + "\n" + lines + "\nWriting kest.log...\n\n# seconds elapsed\n";
}

// The console output of a run that ended with an error after these lines.
inline std::string failed(const std::string& lines, const std::string& error)
{
    return "\n" + lines + "\nERROR: " + error + "\n";
}

inline MessageWriter serverData(std::int32_t protocol, std::uint8_t attractLoop, const std::string& level = "Level")
{
    return MessageWriter().serverData(protocol, 1, attractLoop, "baseq2", 0, level);
}

// The two log lines that open every demo's header group.
inline std::string header(const std::string& name, std::size_t size)
{
    return "Demo filename: " + name + "\nDemo filesize: " + std::to_string(size) + "\n";
}

// A demo that says its own name, so the log shows which file was read.
inline Bytes namedDemo(const std::string& name) { return demoOf({MessageWriter().print(2, name + "\n")}); }

// The log section of namedDemo(name), after a header group or at the start of the log.
inline std::string namedLog(const std::string& name)
{
    return header(name, namedDemo(name).size()) + "\nTIME: 00:00:00 CLSV: " + name + "\n";
}

inline std::optional<std::string> readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return file ? std::optional(std::string(std::istreambuf_iterator<char>(file), {})) : std::nullopt;
}

// A player's recording has lengths of 32 bits, negative at its end; a multi-view one, after its
// magic, lengths of 16 bits, 0 at its end.
inline std::size_t lengthWidth(const Bytes& recording)
{
    return recording.size() >= 4 && std::equal(recording.begin(), recording.begin() + 4, "MVD2") ? 2 : 4;
}

// The offsets of a recording's length fields, the end marker's last; the walk looks at nothing but the lengths.
inline std::vector<std::size_t> lengthFields(const Bytes& recording)
{
    std::vector<std::size_t> fields;
    const std::size_t width = lengthWidth(recording);
    const auto lengthAt = [&](std::size_t at) -> std::int64_t {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value |= std::uint32_t{recording[at + i]} << (8 * i);
        return width == 4 ? std::int64_t{static_cast<std::int32_t>(value)} : value == 0 ? -1 : std::int64_t{value};
    };
    // The end marker ends the walk before its step is used.
    std::int64_t length = 0;
    for (std::size_t at = width == 2 ? 4 : 0; length >= 0 && at + width <= recording.size();
         at += width + static_cast<std::size_t>(length)) {
        fields.push_back(at);
        length = lengthAt(at);
    }
    return fields;
}

// A test that runs kest in a folder of its own: write demos there, run kest
// with arguments, then look at its console output and kest.log.
class KestTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(root_); fs::create_directories(path("")); }
    void TearDown() override { fs::remove_all(root_); }

    // Writes a file below the working folder, making the folders on its path.
    void write(const std::string& name, const Bytes& bytes) const
    {
        fs::create_directories(path(name).parent_path());
        ASSERT_TRUE(demo_writer::writeFile(path(name), bytes)) << "cannot write " << name;
    }

    // Runs kest in the working folder, as a shell would after expanding nothing. A run
    // that takes a minute, as an endless walk would, is ended. The file mode mask and the
    // file size limit (in blocks of 512 bytes) are the POSIX shell's; Windows has neither.
    KestRun run(const Arguments& arguments, [[maybe_unused]] const char* fileMask = "022",
                [[maybe_unused]] const char* fileBlocks = "unlimited") const
    {
        const auto start = std::chrono::steady_clock::now();
#ifdef _WIN32
        const int exitCode = runOnWindows(arguments);
#else
        const int exitCode = runOnPosix(arguments, fileMask, fileBlocks);
#endif
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        std::string output = outputAsOnLinux(readFile(root_ / "output").value_or(""));
        const std::size_t figure = std::min(output.rfind("\n\n") + 2, output.size());  // after the last empty line
        const double seconds = std::strtod(&output[figure], nullptr);
        char remade[64];
        std::snprintf(remade, sizeof remade, "%.2f seconds elapsed\n", seconds);
        std::optional<double> elapsedSeconds;
        if (output.compare(figure, std::string::npos, remade) == 0) {
            output.replace(figure, std::string::npos, "# seconds elapsed\n");
            elapsedSeconds = seconds;
        }
        return KestRun{output, exitCode, elapsedSeconds, wall.count()};
    }

    // Runs kest, checks that it completed after reading demos with these lines and with this
    // exit code, after these lines of the search, and returns kest.log. The elapsed figure cannot
    // exceed the wall time around the run by more than one tick of kest's clock (a millisecond;
    // on Windows the system tick, up to 16 ms) and the rounding to hundredths.
    std::optional<std::string> completedLog(const Arguments& arguments, const std::string& demoLines,
                                            int exitCode = 0, const std::string& searchLines = "") const
    {
        const KestRun result = run(arguments);
        EXPECT_EQ(result.output, completed(demoLines, searchLines));
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_GE(result.elapsedSeconds.value_or(0), 0);
        EXPECT_LE(result.elapsedSeconds.value_or(0), result.wallSeconds + (OnWindows ? 0.016 : 0.001) + 0.005);
        return log();
    }

    // Runs kest over named demos (namedDemo) and checks that it read these, in this order.
    void expectReadInOrder(const Arguments& arguments, const Arguments& visited) const
    {
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

    // The number of entries in a folder below the working folder.
    auto entries(const std::string& name) const { return std::distance(fs::directory_iterator(path(name)), {}); }

    // Runs kest twice, first where there is no kest.log and then over an earlier one, and
    // checks that both runs print the same and leave the working folder as it was: no log,
    // then the earlier one byte for byte. Returns the first run.
    KestRun runKeepingLog(const Arguments& arguments, const char* fileBlocks = "unlimited") const
    {
        fs::remove(path("kest.log"));
        const auto before = entries("");
        const KestRun fresh = run(arguments, "022", fileBlocks);
        EXPECT_EQ(entries(""), before) << "the run left a file behind";
        const std::string earlier = "Demo filename: earlier.dm2\nDemo filesize: 1\n\nTIME: 00:00:00 CHAT: \xE9t\xE9";
        write("kest.log", Bytes(earlier.begin(), earlier.end()));
        const KestRun over = run(arguments, "022", fileBlocks);
        EXPECT_EQ(log(), earlier) << "the run changed the earlier kest.log";
        EXPECT_EQ(over.output, fresh.output);
        EXPECT_EQ(over.exitCode, fresh.exitCode);
        return fresh;
    }

    std::optional<std::string> log() const { return readFile(path("kest.log")); }
    // Names are UTF-8, on Windows too.
    fs::path path(const std::string& name) const { return root_ / "work" / fs::u8path(name); }

private:
#ifdef _WIN32
    // Quoted so that the C runtime's reading of a command line gives the argument back unchanged.
    static std::wstring quotedArgument(const std::wstring& argument)
    {
        std::wstring quoted = L"\"";
        std::size_t backslashes = 0;
        for (const wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
            backslashes = 0;
            quoted += c;
        }
        quoted.append(2 * backslashes, L'\\');
        return quoted + L"\"";
    }

    int runOnWindows(const Arguments& arguments) const
    {
        const fs::path binary = fs::absolute(KEST_BINARY);
        std::wstring commandLine = quotedArgument(binary.wstring());
        for (const std::string& argument : arguments)
            commandLine += L" " + quotedArgument(fs::u8path(argument).wstring());
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        const HANDLE output = ::CreateFileW((root_ / "output").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            return -1;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
        PROCESS_INFORMATION process{};
        const bool started = ::CreateProcessW(binary.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                              path("").c_str(), &startup, &process);
        const DWORD startError = ::GetLastError();
        ::CloseHandle(output);
        if (!started) {
            ADD_FAILURE() << "kest.exe did not start: system error " << startError;
            return -1;
        }
        DWORD exitCode = 0;
        if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.hProcess, 1);
            ::WaitForSingleObject(process.hProcess, INFINITE);
        } else if (!::GetExitCodeProcess(process.hProcess, &exitCode)) {
            exitCode = 0xFFFFFFFF;
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        // A crash ends a process with its exception code, 0xC0000000 or above.
        return exitCode < 0xC0000000 && exitCode != 0xFFFFFFFF ? static_cast<int>(exitCode) : -1;
    }

    // On Windows the console turns each LF into CR LF: the text as on Linux, with a mark at an LF that went out bare.
    static std::string outputAsOnLinux(const std::string& output)
    {
        std::string text;
        for (std::size_t i = 0; i < output.size(); ++i) {
            if (output.compare(i, 2, "\r\n") == 0)
                continue;
            if (output[i] == '\n' && (i == 0 || output[i - 1] != '\r'))
                text += "<LF without CR>";
            text += output[i];
        }
        return text;
    }

    static unsigned long processId() { return ::GetCurrentProcessId(); }
#else
    int runOnPosix(const Arguments& arguments, const char* fileMask, const char* fileBlocks) const
    {
        // No test's argument holds a single quote.
        const auto quoted = [](const std::string& text) { return "'" + text + "'"; };
        // With the file size limit, a write past it fails instead of ending kest.
        std::string command = "cd " + quoted(path("")) + " && umask " + fileMask + " && ulimit -t 60 && ulimit -f " +
                              fileBlocks + " && trap '' XFSZ && exec " + quoted(KEST_BINARY);
        for (const std::string& argument : arguments)
            command += " " + quoted(argument);
        const int status = std::system((command + " >" + quoted(root_ / "output") + " 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string outputAsOnLinux(const std::string& output) { return output; }
    static unsigned long processId() { return static_cast<unsigned long>(::getpid()); }
#endif

    // The working folder and the file of kest's output, one per test process.
    const fs::path root_ = fs::path(::testing::TempDir()) / ("kest-e2e-" + std::to_string(processId()));
};

inline const fs::path RealDemos = KEST_REAL_DEMOS_DIR;

// A test over the real recordings, skipped where there are none.
class RealRecordingTest : public KestTest {
protected:
    void SetUp() override
    {
        KestTest::SetUp();
        if (!fs::is_directory(RealDemos))
            GTEST_SKIP() << "no folder " << RealDemos << " of real recordings (set KEST_REAL_DEMOS_DIR)";
    }

    static Bytes recording(const std::string& name)
    {
        const std::string bytes = readFile(RealDemos / name).value_or("");
        return Bytes(bytes.begin(), bytes.end());
    }

    // The log made for a recording, or for all of them ("all-good.dm2").
    static std::string expectedLog(const std::string& name)
    {
        return readFile(RealDemos / "expected" / (name.substr(0, name.find('.')) + ".log")).value_or("");
    }
};

}  // namespace kest::e2e
