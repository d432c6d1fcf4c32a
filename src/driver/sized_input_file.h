#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "driver/platform.h"

namespace kest {

// A file read in order, up to the size it had when it was opened: each system
// supplies only its own read call.
class SizedInputFile : public InputFile {
public:
    explicit SizedInputFile(std::uint64_t size) : size_(size) {}

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) final
    {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, size_ - done_));
        if (wanted == 0)
            return 0;
        const std::optional<std::size_t> got = readSome(into, wanted);
        if (!got)
            return std::nullopt;
        // A file that shrank since it was opened ends where its data ends.
        if (*got == 0)
            size_ = done_;
        done_ += *got;
        return got;
    }

    std::uint64_t size() const final { return size_; }

protected:
    // Up to `wanted` (at least one) next bytes of the file; 0 at its end, nothing when reading failed.
    virtual std::optional<std::size_t> readSome(std::uint8_t* into, std::size_t wanted) = 0;

private:
    std::uint64_t size_;
    std::uint64_t done_ = 0;
};

}  // namespace kest
