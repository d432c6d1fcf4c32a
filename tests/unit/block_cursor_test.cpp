#include "demo/block_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace kest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Each primitive read with exactly its bytes left ends at the data's end;
// with one byte fewer, or over no storage at all, it reports the end of the
// data and does not move.
TEST(BlockCursor, EachPrimitiveAtAndOnePastTheEnd)
{
    const struct {
        const char* name;
        std::function<void(BlockCursor&)> read;
        Bytes bytes;
    } primitives[] = {
        {"byte", [](BlockCursor& c) { c.readByte(); }, {0x7F}},
        {"short", [](BlockCursor& c) { c.readShort(); }, {0x01, 0x02}},
        {"long", [](BlockCursor& c) { c.readLong(); }, {0x01, 0x02, 0x03, 0x04}},
        {"string, cut before its terminator", [](BlockCursor& c) { c.readString(); }, {'a', 'b', 'c', 0}},
        {"empty string", [](BlockCursor& c) { c.readString(); }, {0}},
        {"skip 5", [](BlockCursor& c) { c.skip(5); }, {9, 9, 9, 9, 9}},
    };
    const Bytes leadIn = {0xEE, 0xEE, 0xEE};
    for (const auto& primitive : primitives) {
        SCOPED_TRACE(primitive.name);
        Bytes exact = leadIn;
        exact.insert(exact.end(), primitive.bytes.begin(), primitive.bytes.end());
        BlockCursor fits(exact.data(), exact.size());
        fits.skip(leadIn.size());
        primitive.read(fits);
        EXPECT_EQ(fits.offset(), exact.size());
        EXPECT_EQ(fits.available(1), 0u);
        EXPECT_THROW(fits.readByte(), DataEnded);

        BlockCursor cut(exact.data(), exact.size() - 1);
        cut.skip(leadIn.size());
        EXPECT_THROW(primitive.read(cut), DataEnded);
        EXPECT_EQ(cut.offset(), leadIn.size());

        // An empty vector may have no storage: memchr must not get its null pointer either.
        BlockCursor none(nullptr, 0);
        EXPECT_THROW(primitive.read(none), DataEnded);
        EXPECT_EQ(none.offset(), 0u);
    }
}

TEST(BlockCursor, ValuesAreLowByteFirstWithOnlyTheLongSigned)
{
    const Bytes bytes = {0xFF, 0x34, 0x12, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF,
                         0x00, 0x00, 0x00, 0x80, 'h', 0xE9, '\n', 0};
    BlockCursor cursor(bytes.data(), bytes.size());
    EXPECT_EQ(cursor.readByte(), 255);
    EXPECT_EQ(cursor.readShort(), 0x1234);
    EXPECT_EQ(cursor.readShort(), 65535);
    // Longs at odd offsets: the format does not align them.
    EXPECT_EQ(cursor.readLong(), 0x12345678);
    EXPECT_EQ(cursor.readLong(), -2);
    EXPECT_EQ(cursor.readLong(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(cursor.readString(), "h\xE9\n");
    EXPECT_EQ(cursor.available(1), 0u);
}

}  // namespace
}  // namespace kest
