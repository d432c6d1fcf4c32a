#include <fcntl.h>
#include <glob.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "driver/console.h"
#include "driver/long_name_match.h"
#include "driver/platform.h"
#include "driver/sized_input_file.h"

namespace kest {
namespace {

std::string bareName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> globPaths(const std::string& pattern)
{
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            paths.emplace_back(found.gl_pathv[i]);
    }
    ::globfree(&found);
    return paths;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A fresh file beside `path`, created with the mode of any new file (0666 less the umask).
int createTemporaryBeside(const std::string& path, std::string& temporaryPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".tmp";
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A demo file read with the system's read call.
class PosixInputFile final : public SizedInputFile {
public:
    PosixInputFile(int fd, std::uint64_t size) : SizedInputFile(size), fd_(fd) {}
    ~PosixInputFile() override { ::close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

private:
    std::optional<std::size_t> readSome(std::uint8_t* into, std::size_t wanted) override
    {
        for (;;) {
            const ssize_t got = ::read(fd_, into, wanted);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return std::nullopt;
            return static_cast<std::size_t>(got);
        }
    }

    int fd_;
};

class PosixPlatform final : public Platform {
public:
    std::vector<DirectoryEntry> findMatches(const std::string& pattern) override
    {
        std::vector<std::string> paths = globPaths(pattern);
        // A name that holds wildcard characters itself is still the file it names.
        struct stat status;
        if (paths.empty() && ::lstat(pattern.c_str(), &status) == 0)
            paths.push_back(pattern);

        std::vector<DirectoryEntry> entries;
        entries.reserve(paths.size());
        for (std::string& path : paths) {
            std::string name = bareName(path);
            entries.push_back(DirectoryEntry{std::move(path), std::move(name)});
        }
        return entries;
    }

    OpenedFile openFile(const std::string& path) override
    {
        // Not blocking: a pipe with no writer must not hold the run up before it is found to be no file.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat status;
        if (fd < 0) {
            const bool regular = ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
            return {regular ? OpenedFile::Status::Failed : OpenedFile::Status::NotAFile, nullptr};
        }
        const bool described = ::fstat(fd, &status) == 0;
        if (!described || !S_ISREG(status.st_mode)) {
            ::close(fd);
            return {described ? OpenedFile::Status::NotAFile : OpenedFile::Status::Failed, nullptr};
        }
        return {OpenedFile::Status::Opened,
                std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(status.st_size))};
    }

    bool replaceFile(const std::string& path, FileContent& content) override
    {
        std::string temporaryPath;
        const int fd = createTemporaryBeside(path, temporaryPath);
        if (fd < 0)
            return false;
        // Rewriting an existing log keeps its permissions, as truncating it would.
        struct stat existing;
        bool written = content.writeWith([fd](std::string_view piece) { return writeAll(fd, piece); });
        if (written && ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
            written = ::fchmod(fd, existing.st_mode & 07777) == 0;
        written = ::close(fd) == 0 && written;
        if (written && ::rename(temporaryPath.c_str(), path.c_str()) == 0)
            return true;
        ::unlink(temporaryPath.c_str());
        return false;
    }

    std::int64_t milliseconds() override
    {
        using namespace std::chrono;
        return duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

// Standard output, with no buffer that could be left unwritten: each call's lines go out in one
// write(2), and in more only when the system takes part of them.
class PosixConsole final : public Console {
public:
    void write(std::string_view lines) override { writeAll(STDOUT_FILENO, lines); }
};

}  // namespace

// The C library's table of capitals for all of Unicode is that of a UTF-8 locale: the C locale
// kest runs in has capitals for ASCII only. glibc has C.UTF-8 built in.
bool sameLetterAnyCase(wchar_t a, wchar_t b)
{
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (a == b)
        return true;
    if (unicode == locale_t{})
        return ::towupper(static_cast<wint_t>(a)) == ::towupper(static_cast<wint_t>(b));
    return ::towupper_l(static_cast<wint_t>(a), unicode) == ::towupper_l(static_cast<wint_t>(b), unicode);
}

std::unique_ptr<Platform> makeNativePlatform()
{
    return std::make_unique<PosixPlatform>();
}

std::unique_ptr<Console> makeNativeConsole()
{
    return std::make_unique<PosixConsole>();
}

std::vector<std::string> nativeArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace kest
