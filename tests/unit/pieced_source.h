#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "demo/byte_source.h"

namespace kest {

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

}  // namespace kest
