#pragma once

// What the unit tests read from and write to, in memory or in a folder of their own, and the
// text they compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo_parser.h"
#include "demo/demo_window.h"
#include "driver/platform.h"

namespace kest {

// Two byte strings, or two lists of lines, one after the other.
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

// A command's payload is read exactly when the print of "next\n" behind it, in the demo's second
// block, is its last record, read to its end; one byte fewer, or one more (0x55 is no command),
// must break that. `fixed` is how many of the bytes stay when one fewer is tried.
template <typename Demo>
void expectExactPayload(const std::vector<std::uint8_t>& payload, std::size_t fixed, Demo demoWith)
{
    const auto endsWithNext = [&demoWith](const std::vector<std::uint8_t>& bytes) {
        const std::string records = "|" + decoded(demoWith(bytes)), next = "|1 2 next\n|read to its end";
        return records.size() >= next.size() && records.substr(records.size() - next.size()) == next;
    };
    EXPECT_TRUE(endsWithNext(payload)) << "exact payload of " << payload.size();
    if (payload.size() > fixed) {
        EXPECT_FALSE(endsWithNext(std::vector<std::uint8_t>(payload.begin(), payload.end() - 1))) << "one byte fewer";
    }
    EXPECT_FALSE(endsWithNext(payload + std::vector<std::uint8_t>{0x55})) << "one byte more";
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

// Lines as a run writes them to the console: an empty one, a name outside ASCII, a line that
// opens with an empty one, and one longer than any a run prints.
inline const std::vector<std::string> ConsoleWrites = {
    "\n",
    "Reading \xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.dm2...\n",
    "\nERROR: Demofile nope.dm2 not found!\n",
    std::string(60000, 'x') + "\n",
};

// A fresh folder of the test's own, for the native platform to work in.
class NativeFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() / ("kest-unit-" + std::string(test->test_suite_name()) + "." +
                                                         test->name() + "-" + std::to_string(std::random_device()()));
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
    }

    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / std::filesystem::u8path(name)).u8string(); }

    void makeFile(const std::string& name, const std::string& bytes = "demo") const
    {
        std::ofstream(std::filesystem::u8path(path(name)), std::ios::binary) << bytes;
    }

    std::string contents(const std::string& name) const
    {
        std::ifstream in(std::filesystem::u8path(path(name)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Each match of a pattern as name, path and whether it opens as a file, one per line, in byte order.
    std::string matches(const std::string& pattern) const
    {
        std::vector<std::string> lines;
        for (const DirectoryEntry& entry : platform_->findMatches(pattern)) {
            const bool file = platform_->openFile(entry.path).status == OpenedFile::Status::Opened;
            lines.push_back(entry.name + " " + entry.path + (file ? " file\n" : " other\n"));
        }
        std::sort(lines.begin(), lines.end());
        std::string found;
        for (const std::string& line : lines)
            found += line;
        return found;
    }

    // A file is what it held when it was opened: what is written to it later is not read, and
    // one that shrinks ends where its data ends, with that as its size.
    void expectReadAsOpened() const
    {
        EXPECT_EQ(platform_->openFile(path("missing.dm2")).status, OpenedFile::Status::NotAFile);
        makeFile("a.dm2", "0123456789");
        OpenedFile growing = platform_->openFile(path("a.dm2"));
        ASSERT_EQ(growing.status, OpenedFile::Status::Opened);
        std::ofstream(std::filesystem::u8path(path("a.dm2")), std::ios::binary | std::ios::app) << "later";
        std::uint8_t buffer[64];
        EXPECT_EQ(growing.file->read(buffer, 4), 4u);
        EXPECT_EQ(growing.file->read(buffer, sizeof buffer), 6u);
        EXPECT_EQ(std::string(buffer, buffer + 6), "456789");
        EXPECT_EQ(growing.file->read(buffer, sizeof buffer), 0u);
        EXPECT_EQ(growing.file->size(), 10u);

        OpenedFile shrinking = platform_->openFile(path("a.dm2"));
        ASSERT_EQ(shrinking.status, OpenedFile::Status::Opened);
        EXPECT_EQ(shrinking.file->size(), 15u);
        EXPECT_EQ(shrinking.file->read(buffer, 4), 4u);
        std::filesystem::resize_file(std::filesystem::u8path(path("a.dm2")), 6);
        EXPECT_EQ(shrinking.file->read(buffer, sizeof buffer), 2u);
        EXPECT_EQ(shrinking.file->read(buffer, sizeof buffer), 0u);
        EXPECT_EQ(shrinking.file->size(), 6u);
    }

    // Writes `bytes` into the file of that name, `piece` bytes at a time.
    bool replace(const std::string& name, const std::string& bytes, std::size_t piece = SIZE_MAX) const
    {
        PiecedContent content(bytes, piece);
        return platform_->replaceFile(path(name), content);
    }

    std::unique_ptr<Platform> platform_ = makeNativePlatform();
    std::filesystem::path dir_;
};

}  // namespace kest
