#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// One match of a file-name pattern.
struct DirectoryEntry {
    std::string path;  // where to open it, with the pattern's directory part
    std::string name;  // the bare name, as shown to the user and in the log
    bool isRegularFile;
};

// A demo file's bytes, read whole.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::uint64_t size = 0;
};

// Everything kest needs from the operating system.
class Platform {
public:
    virtual ~Platform() = default;

    // The matches of a file name or wildcard pattern, in byte order of their
    // names; empty when nothing matches.
    virtual std::vector<DirectoryEntry> findMatches(const std::string& pattern) = 0;

    // The whole file; false if it cannot be opened or read completely.
    virtual bool readFile(const std::string& path, FileBytes& bytes) = 0;

    // Writes the file completely or not at all: on failure an existing file
    // of that name is left as it was.
    virtual bool replaceFile(const std::string& path, std::string_view bytes) = 0;

    // Wall-clock milliseconds from an arbitrary fixed point.
    virtual std::int64_t milliseconds() = 0;
};

// The platform kest runs on.
std::unique_ptr<Platform> makeNativePlatform();

}  // namespace kest
