#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace kest {

// Where a demo's bytes come from, in order: a file, a decompressor, memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Up to `capacity` of the next bytes; 0 once the data has ended, nothing if reading failed.
    virtual std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) = 0;
};

// Bytes already in memory, for decoding without a file.
class MemorySource final : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) override
    {
        const std::size_t count = std::min(capacity, left_);
        if (count > 0)
            std::memcpy(into, data_, count);
        data_ += count;
        left_ -= count;
        return count;
    }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

}  // namespace kest
