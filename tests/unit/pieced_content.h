#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "driver/platform.h"

namespace kest {

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

}  // namespace kest
