#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "driver/platform.h"

namespace kest {

// Each match of a pattern as name, path and whether it opens as a file, one per line, in byte order.
inline std::string describeMatches(Platform& platform, const std::string& pattern)
{
    std::vector<std::string> lines;
    for (const DirectoryEntry& entry : platform.findMatches(pattern)) {
        const bool file = platform.openFile(entry.path).status == OpenedFile::Status::Opened;
        lines.push_back(entry.name + " " + entry.path + (file ? " file\n" : " other\n"));
    }
    std::sort(lines.begin(), lines.end());
    std::string found;
    for (const std::string& line : lines)
        found += line;
    return found;
}

}  // namespace kest
