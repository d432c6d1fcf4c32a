#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kest {

class DemoWindow;

// Thrown when a read would need bytes past the end of the demo's data.
struct DataEnded {};

// A read position in a demo's bytes. Every read checks here, and only here,
// that the data holds what it asks for; nothing ever reads past the end. Over a
// window, a read that needs bytes beyond those at hand has the window read on.
class BlockCursor {
public:
    // Over bytes in memory that are the whole of the data.
    BlockCursor(const std::uint8_t* data, std::size_t size) : BlockCursor(nullptr, 0, data, data + size) {}

    // Where the cursor is, counted from the demo's first byte.
    std::uint64_t offset() const { return origin_ + static_cast<std::uint64_t>(position_ - begin_); }

    // How many of the next `wanted` bytes the data holds.
    std::size_t available(std::size_t wanted)
    {
        if (wanted > atHand())
            fetch(wanted);
        return wanted < atHand() ? wanted : atHand();
    }

    std::uint8_t readByte() { return *take(1); }

    std::uint16_t readShort()
    {
        const std::uint8_t* bytes = take(2);
        return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    }

    std::int32_t readLong()
    {
        const std::uint8_t* bytes = take(4);
        const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                    std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
        return static_cast<std::int32_t>(value);
    }

    // A zero-terminated text; the cursor moves past its terminator. The text
    // stays where it is until the next read.
    std::string_view readString()
    {
        const void* zero = atHand() == 0 ? nullptr : std::memchr(position_, 0, atHand());
        const auto* end = zero != nullptr ? static_cast<const std::uint8_t*>(zero) : fetchThroughZero();
        const std::string_view text(reinterpret_cast<const char*>(position_), static_cast<std::size_t>(end - position_));
        position_ = end + 1;
        return text;
    }

    void skip(std::size_t count) { take(count); }

    // The next `count` bytes in one piece; they stay where they are until the next read.
    const std::uint8_t* readBytes(std::size_t count) { return take(count); }

private:
    friend class DemoWindow;

    BlockCursor(DemoWindow* window, std::uint64_t origin, const std::uint8_t* begin, const std::uint8_t* end)
        : window_(window), origin_(origin), begin_(begin), position_(begin), end_(end)
    {
    }

    std::size_t atHand() const { return static_cast<std::size_t>(end_ - position_); }

    const std::uint8_t* take(std::size_t count)
    {
        if (count > atHand() && !fetch(count))
            throw DataEnded{};
        const std::uint8_t* start = position_;
        position_ += count;
        return start;
    }

    // Has the window bring at least `count` bytes from here to hand, if the data holds them.
    bool fetch(std::size_t count);
    // Brings bytes to hand until one is zero, and returns it.
    const std::uint8_t* fetchThroughZero();

    DemoWindow* window_;     // none over bytes in memory
    std::uint64_t origin_;   // the offset of begin_
    const std::uint8_t* begin_;
    const std::uint8_t* position_;
    const std::uint8_t* end_;  // the end of the bytes at hand
};

// Widths of the values the decoder steps over without keeping them.
namespace width {
constexpr std::size_t Byte = 1;
constexpr std::size_t Short = 2;
constexpr std::size_t Long = 4;
constexpr std::size_t Coordinate = 2;  // a short in eighths of a unit
constexpr std::size_t Position = 3 * Coordinate;
constexpr std::size_t Direction = 1;  // an index into a table of directions
constexpr std::size_t Angle = 1;
constexpr std::size_t Angle16 = 2;
}  // namespace width

}  // namespace kest
