#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "demo/byte_source.h"

namespace kest {

// One match of a file-name pattern.
struct DirectoryEntry {
    std::string path;  // where to open it, with the pattern's directory part
    std::string name;  // the bare name, as shown to the user and in the log
};

// A file opened for reading. It yields the bytes it held when it was opened and
// no more, so a demo still being recorded is read as far as it had got.
class InputFile : public ByteSource {
public:
    // The size it had when it was opened, or the bytes it turned out to hold when it shrank since.
    virtual std::uint64_t size() const = 0;
};

// The bytes of a file to write, made a piece at a time as they are written, so that a
// large file is never in memory whole.
class FileContent {
public:
    virtual ~FileContent() = default;

    // The next bytes, valid until the next call; empty once every byte has been given.
    virtual std::string_view nextPiece() = 0;

    // Hands the pieces in order to `write`, which says whether it wrote its piece whole;
    // false at the first it did not.
    template <typename Write>
    bool writeWith(Write write)
    {
        for (std::string_view piece = nextPiece(); !piece.empty(); piece = nextPiece()) {
            if (!write(piece))
                return false;
        }
        return true;
    }
};

struct OpenedFile {
    enum class Status {
        Opened,
        NotAFile,  // a folder, a pipe, a device: no demo, and no error either
        Failed,
    };
    Status status;
    std::unique_ptr<InputFile> file;  // only when opened
};

// Everything kest needs from the operating system.
class Platform {
public:
    virtual ~Platform() = default;

    // The entries whose names match a file name or wildcard pattern, in no
    // particular order; empty when nothing matches.
    virtual std::vector<DirectoryEntry> findMatches(const std::string& pattern) = 0;

    virtual OpenedFile openFile(const std::string& path) = 0;

    // Writes the file completely or not at all: on failure an existing file
    // of that name is left as it was.
    virtual bool replaceFile(const std::string& path, FileContent& content) = 0;

    // Milliseconds of a monotonic clock from an arbitrary fixed point.
    virtual std::int64_t milliseconds() = 0;
};

// The platform kest runs on.
std::unique_ptr<Platform> makeNativePlatform();

// The arguments kest was started with, after its own name, in UTF-8 and as typed:
// where no shell expands wildcards, kest expands them itself.
std::vector<std::string> nativeArguments(int argc, char** argv);

}  // namespace kest
