#include "log/time_stamp.h"

#include <cinttypes>
#include <cstdio>

namespace kest {

std::string_view TimeStamp::format(std::int64_t blocks)
{
    const std::int64_t seconds = blocks / 10;
    const int length = std::snprintf(text_, sizeof text_, "%02" PRId64 ":%02" PRId64 ":%02" PRId64,
                                     seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return std::string_view(text_, static_cast<std::size_t>(length));
}

}  // namespace kest
