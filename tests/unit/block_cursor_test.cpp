#include "demo/block_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace kest {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Primitive {
    const char* name;
    std::size_t width;
    // Reads the primitive from a buffer that holds exactly `width` bytes after the lead-in.
    std::function<void(BlockCursor&)> read;
    Bytes bytes;  // the primitive's own bytes
};

const std::vector<Primitive> Primitives = {
    {"byte", 1, [](BlockCursor& c) { c.readByte(); }, {0x7F}},
    {"short", 2, [](BlockCursor& c) { c.readShort(); }, {0x01, 0x02}},
    {"long", 4, [](BlockCursor& c) { c.readLong(); }, {0x01, 0x02, 0x03, 0x04}},
    {"string", 4, [](BlockCursor& c) { c.readString(); }, {'a', 'b', 'c', 0}},
    {"empty string", 1, [](BlockCursor& c) { c.readString(); }, {0}},
    {"skip 5", 5, [](BlockCursor& c) { c.skip(5); }, {9, 9, 9, 9, 9}},
};

// Each primitive read with exactly its bytes left ends at the buffer's end;
// with one byte fewer it reports the end of the data and does not move.
TEST(BlockCursor, EachPrimitiveAtAndOnePastTheEnd)
{
    const Bytes leadIn = {0xEE, 0xEE, 0xEE};
    for (const Primitive& primitive : Primitives) {
        SCOPED_TRACE(primitive.name);
        Bytes exact = leadIn;
        exact.insert(exact.end(), primitive.bytes.begin(), primitive.bytes.end());
        BlockCursor fits(exact.data(), exact.size());
        fits.skip(leadIn.size());
        primitive.read(fits);
        EXPECT_EQ(fits.offset(), leadIn.size() + primitive.width);
        EXPECT_EQ(fits.remaining(), 0u);
        EXPECT_THROW(fits.readByte(), DataEnded);
        EXPECT_EQ(fits.offset(), exact.size());

        const Bytes cut(exact.begin(), exact.end() - 1);
        BlockCursor short_(cut.data(), cut.size());
        short_.skip(leadIn.size());
        EXPECT_THROW(primitive.read(short_), DataEnded);
        EXPECT_EQ(short_.offset(), leadIn.size());
    }
}

// An empty vector may have no storage at all: its data() is null.
TEST(BlockCursor, EmptyBufferWithoutStorageHoldsNothingButAZeroSkip)
{
    BlockCursor cursor(nullptr, 0);
    EXPECT_THROW(cursor.readByte(), DataEnded);
    EXPECT_THROW(cursor.readShort(), DataEnded);
    EXPECT_THROW(cursor.readLong(), DataEnded);
    EXPECT_THROW(cursor.skip(1), DataEnded);
    EXPECT_NO_THROW(cursor.skip(0));
    EXPECT_EQ(cursor.offset(), 0u);
}

// The string read must not hand the null position to the C library either
// (memchr with a null pointer is undefined even for zero bytes; the
// undefined-behaviour sanitizer stops here if it does).
TEST(BlockCursor, StringFromAnEmptyBufferWithoutStorage)
{
    BlockCursor cursor(nullptr, 0);
    EXPECT_THROW(cursor.readString(), DataEnded);
    EXPECT_EQ(cursor.offset(), 0u);
}

TEST(BlockCursor, ShortIsLowByteFirstAndUnsigned)
{
    const Bytes bytes = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80};
    BlockCursor cursor(bytes.data(), bytes.size());
    EXPECT_EQ(cursor.readShort(), 0x1234);
    EXPECT_EQ(cursor.readShort(), 65535);
    EXPECT_EQ(cursor.readShort(), 0x8000);
    EXPECT_EQ(cursor.offset(), 6u);
}

TEST(BlockCursor, LongIsLowestByteFirstSignedAndUnaligned)
{
    const struct {
        Bytes bytes;
        std::int32_t value;
    } cases[] = {
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{0xFE, 0xFF, 0xFF, 0xFF}, -2},
        {{0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min()},
        {{0xFF, 0xFF, 0xFF, 0x7F}, std::numeric_limits<std::int32_t>::max()},
        {{0x06, 0x00, 0x00, 0x00}, 6},
    };
    for (const auto& c : cases) {
        // One byte in front, so the long never sits on a four-byte boundary.
        Bytes bytes = {0xAA};
        bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
        BlockCursor cursor(bytes.data(), bytes.size());
        cursor.readByte();
        EXPECT_EQ(cursor.readLong(), c.value);
        EXPECT_EQ(cursor.offset(), 5u);
    }
}

TEST(BlockCursor, StringStopsAtItsZeroAndKeepsHighBytes)
{
    const Bytes bytes = {'h', 0xE9, 0x0A, 0, 0, 'x', 0};
    BlockCursor cursor(bytes.data(), bytes.size());
    EXPECT_EQ(cursor.readString(), "h\xE9\n");
    EXPECT_EQ(cursor.offset(), 4u);
    EXPECT_EQ(cursor.readString(), "");
    EXPECT_EQ(cursor.offset(), 5u);
    EXPECT_EQ(cursor.readString(), "x");
    EXPECT_EQ(cursor.remaining(), 0u);
}

TEST(BlockCursor, StringWithoutTerminatorReportsTheEnd)
{
    const Bytes bytes = {'a', 0, 'b', 'c'};
    BlockCursor cursor(bytes.data(), bytes.size());
    EXPECT_EQ(cursor.readString(), "a");
    EXPECT_THROW(cursor.readString(), DataEnded);
    EXPECT_EQ(cursor.offset(), 2u);
}

TEST(BlockCursor, ByteIsUnsigned)
{
    const Bytes bytes = {0xFF, 0x80};
    BlockCursor cursor(bytes.data(), bytes.size());
    EXPECT_EQ(cursor.readByte(), 255);
    EXPECT_EQ(cursor.readByte(), 128);
}

}  // namespace
}  // namespace kest
