#include "demo/demo_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "gzip_writer/gzip_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using gzip_writer::Bytes;
using gzip_writer::gzip;
using gzip_writer::gzipPieces;

// Every byte a demo's data holds, read `capacity` bytes at most at a time from a file handing
// out `piece` bytes at most; nothing if a read failed.
std::optional<Bytes> dataOf(const Bytes& file, std::size_t capacity, std::size_t piece = SIZE_MAX,
                            std::size_t failAt = SIZE_MAX)
{
    PiecedSource source(file, piece, failAt);
    DemoInput input(source);
    Bytes data;
    std::vector<std::uint8_t> buffer(capacity);
    for (;;) {
        const std::optional<std::size_t> got = input.read(buffer.data(), capacity);
        if (!got)
            return std::nullopt;
        EXPECT_LE(*got, capacity);
        if (*got == 0)
            return data;
        data.insert(data.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got));
    }
}

Bytes text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Lines enough to need several reads of compressed input, with a byte above 0x7F in each.
Bytes longData()
{
    std::string lines;
    for (int i = 0; lines.size() < 3 * GzipSource::InputCapacity; ++i)
        lines += "\x8F" + std::to_string(i * 7919 % 100003) + " was railed by " + std::to_string(i) + "\n";
    return text(lines);
}

// What a file's bytes make for data, whatever the sizes of the reads that take them. The bytes
// inflated before inflate finds a fault stay data, even those of the read that finds it.
TEST(DemoInput, DataOfPlainAndCompressedFiles)
{
    const Bytes whole = longData();
    const Bytes small = text("TIME: 00:00:01 CHAT: gg\n");
    const Bytes magic = {0x1F, 0x8B, 0x08};
    Bytes badChecksum = gzip(small);
    badChecksum[badChecksum.size() - gzip_writer::TrailerSize] ^= 0x01;
    Bytes changedStoredByte = gzip(small, 0);
    const auto stored = std::search(changedStoredByte.begin(), changedStoredByte.end(), small.begin(), small.end());
    ASSERT_NE(stored, changedStoredByte.end());
    stored[21] = 'G';  // only the checksum tells
    Bytes changedSmall = small;
    changedSmall[21] = 'G';
    // A block type that does not exist, in the block after the first piece.
    gzip_writer::GzipMember twoPieces = gzipPieces({small, small});
    twoPieces.bytes[twoPieces.pieceEnds[0]] |= 0x06;
    // A member cut short keeps what it inflates to: the pieces before a cut at a piece's end, all of it
    // for a cut in the trailer.
    const gzip_writer::GzipMember member = gzipPieces({small, whole, small});
    const auto cut = [&member](std::size_t size) {
        return Bytes(member.bytes.begin(), member.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    };
    const std::tuple<const char*, Bytes, Bytes> cases[] = {  // name, file, data
        {"empty file", {}, {}},
        {"one byte of the magic", {0x1F}, {0x1F}},
        {"two bytes of the magic", {0x1F, 0x8B}, {0x1F, 0x8B}},
        {"the magic with another method", {0x1F, 0x8B, 0x07, 0x00}, {0x1F, 0x8B, 0x07, 0x00}},
        {"plain demo", whole, whole},
        {"compressed demo", gzip(whole), whole},
        {"stored, not compressed", gzip(small, 0), small},
        {"two members in a row", gzip(small) + gzip(whole), small + whole},
        {"an empty member between two", gzip(small) + gzip({}) + gzip(small), small + small},
        {"the magic alone", magic, {}},
        {"zeros after the member", gzip(small) + Bytes(600, 0), small},
        {"a plain file after the member", gzip(small) + small, small},
        {"checksum", badChecksum, small},
        {"stored byte changed", changedStoredByte, changedSmall},
        {"the second member's checksum", gzip(small) + badChecksum + gzip(small), small + small},
        {"unknown block type", twoPieces.bytes, small},
        {"cut at the end of the first piece", cut(member.pieceEnds[0]), small},
        {"cut at the end of the second piece", cut(member.pieceEnds[1]), small + whole},
        {"cut in the trailer", cut(member.bytes.size() - 1), small + whole + small},
    };
    for (const auto& [name, file, data] : cases) {
        for (const std::size_t capacity : {1, 2, 3, 7, 65536}) {
            for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{4096}, SIZE_MAX}) {
                SCOPED_TRACE(std::string(name) + ", reads of " + std::to_string(capacity) + " from pieces of " +
                             std::to_string(piece));
                if (piece < 4096 && capacity == 65536 && data.size() > 100000)
                    continue;  // the long data a byte at a time takes long and finds nothing new
                EXPECT_EQ(dataOf(file, capacity, piece), data);
            }
        }
    }
}

// A file that fails to read fails the data, compressed or not, however far inflating has come.
TEST(DemoInput, FailingFileFailsTheData)
{
    const Bytes whole = longData();
    for (const Bytes& file : {whole, gzip(whole)}) {
        for (const std::size_t failAt : {std::size_t{0}, std::size_t{2}, std::size_t{3}, file.size() / 2}) {
            SCOPED_TRACE("failing after " + std::to_string(failAt) + " of " + std::to_string(file.size()));
            EXPECT_EQ(dataOf(file, 65536, 1024, failAt), std::nullopt);
        }
    }
}

}  // namespace
}  // namespace kest
