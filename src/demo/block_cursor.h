#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kest {

// Thrown when a read would need bytes past the end of the demo's data.
struct DataEnded {};

// A read position over a demo's bytes. Every read checks here, and only here,
// that the data holds what it asks for; nothing ever reads past the end.
class BlockCursor {
public:
    BlockCursor(const std::uint8_t* data, std::size_t size) : begin_(data), position_(data), end_(data + size) {}

    std::size_t offset() const { return static_cast<std::size_t>(position_ - begin_); }
    std::size_t remaining() const { return static_cast<std::size_t>(end_ - position_); }

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

    // A zero-terminated text; the cursor moves past its terminator.
    std::string_view readString()
    {
        const void* zero = remaining() == 0 ? nullptr : std::memchr(position_, 0, remaining());
        if (zero == nullptr)
            throw DataEnded{};
        const std::string_view text(reinterpret_cast<const char*>(position_),
                                    static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - position_));
        position_ += text.size() + 1;
        return text;
    }

    void skip(std::size_t count) { take(count); }

private:
    const std::uint8_t* take(std::size_t count)
    {
        if (count > remaining())
            throw DataEnded{};
        const std::uint8_t* start = position_;
        position_ += count;
        return start;
    }

    const std::uint8_t* begin_;
    const std::uint8_t* position_;
    const std::uint8_t* end_;
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
