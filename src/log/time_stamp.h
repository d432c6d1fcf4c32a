#pragma once

#include <cstdint>
#include <string_view>

namespace kest {

// Play time of a block: one block is a tenth of a second.
class TimeStamp {
public:
    virtual ~TimeStamp() = default;

    // "hh:mm:ss", each part at least two digits; the text lives until the next call.
    std::string_view format(std::int64_t blocks);

private:
    char text_[32] = {};
};

}  // namespace kest
