#include "demo/block_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Each primitive reads its value low byte first, with only the long signed, at an odd offset
// (the format does not align values). With exactly its bytes left it ends at the data's end;
// with one byte fewer, or over no storage at all, it reports the end of the data and does not move.
TEST(BlockCursor, EachPrimitiveItsValueAndOnePastTheEnd)
{
    const struct {
        const char* name;
        std::function<std::string(BlockCursor&)> read;
        Bytes bytes;
        std::string value;
    } primitives[] = {
        {"byte", [](BlockCursor& c) { return std::to_string(c.readByte()); }, {0xFF}, "255"},
        {"short", [](BlockCursor& c) { return std::to_string(c.readShort()); }, {0x34, 0x92}, "37428"},
        {"long", [](BlockCursor& c) { return std::to_string(c.readLong()); }, {0x78, 0x56, 0x34, 0x12}, "305419896"},
        {"negative long", [](BlockCursor& c) { return std::to_string(c.readLong()); }, {0xFE, 0xFF, 0xFF, 0x80},
         "-2130706434"},
        {"string, cut before its terminator", [](BlockCursor& c) { return std::string(c.readString()); },
         {'h', 0xE9, '\n', 0}, "h\xE9\n"},
        {"empty string", [](BlockCursor& c) { return std::string(c.readString()); }, {0}, ""},
        {"skip 5", [](BlockCursor& c) { c.skip(5); return std::string(); }, {9, 9, 9, 9, 9}, ""},
    };
    const Bytes leadIn = {0xEE, 0xEE, 0xEE};
    for (const auto& primitive : primitives) {
        SCOPED_TRACE(primitive.name);
        Bytes exact = leadIn;
        exact.insert(exact.end(), primitive.bytes.begin(), primitive.bytes.end());
        BlockCursor fits(exact.data(), exact.size());
        fits.skip(leadIn.size());
        EXPECT_EQ(primitive.read(fits), primitive.value);
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

}  // namespace
}  // namespace kest
