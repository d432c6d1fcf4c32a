#pragma once

// What the unit tests read from and write to in memory, and the text they compare.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo_parser.h"
#include "demo/demo_window.h"
#include "driver/platform.h"

namespace kest {

template <typename T>
std::vector<T> operator+(std::vector<T> left, const std::vector<T>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Bytes in memory handed out at most `piece` at a time, as a pipe or a slow disk may, and
// failing on the read once `failAt` bytes are read, as a disk with a bad sector would.
class PiecedSource final : public ByteSource {
public:
    PiecedSource(const std::vector<std::uint8_t>& bytes, std::size_t piece, std::size_t failAt = SIZE_MAX)
        : bytes_(bytes), piece_(piece), failAt_(failAt)
    {
    }

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) override
    {
        if (at_ >= failAt_)
            return std::nullopt;
        const std::size_t count = std::min({capacity, piece_, bytes_.size() - at_, failAt_ - at_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), count, into);
        at_ += count;
        return count;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t piece_;
    std::size_t failAt_;
    std::size_t at_ = 0;
};

// Every record of a demo as "time kind text|", then how its decoding ended; the demo is read
// through a window of `capacity` bytes from a source as above.
inline std::string decoded(const std::vector<std::uint8_t>& demo, FactScope scope = FactScope::Log,
                           std::size_t capacity = DemoWindow::DefaultCapacity, std::size_t piece = SIZE_MAX,
                           std::size_t failAt = SIZE_MAX)
{
    PiecedSource source(demo, piece, failAt);
    DemoWindow window(capacity);
    MessageList list;
    std::string ending = "read to its end";
    window.open(source);
    try {
        if (const auto damage = DemoParser(window, DemoParser::Walk::Lean, scope).run(list))
            ending = "damaged at " + std::to_string(damage->offset);
    } catch (const FatalError& error) {
        ending = error.what();
    } catch (const ReadFailed&) {
        ending = "read failed";
    }
    std::string text;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next())
        text += std::to_string(record->time) + " " + std::to_string(static_cast<int>(record->kind)) + " " +
                std::string(record->text) + "|";
    return text + ending;
}

// Whether a print of "next\n" in the second block is the last record of a demo read to its end.
inline bool endsWithNext(const std::string& records)
{
    const std::string next = "|1 2 next\n|read to its end";
    return ("|" + records).size() >= next.size() && ("|" + records).substr(records.size() + 1 - next.size()) == next;
}

// Bytes in memory given to a file at most `piece` at a time.
class PiecedContent final : public FileContent {
public:
    explicit PiecedContent(std::string bytes, std::size_t piece = SIZE_MAX) : bytes_(std::move(bytes)), piece_(piece) {}

    std::string_view nextPiece() override
    {
        const std::string_view next = std::string_view(bytes_).substr(at_, piece_);
        at_ += next.size();
        return next;
    }

private:
    std::string bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

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
