#include "log/time_stamp.h"

#include <charconv>

namespace kest {
namespace {

// A number with at least two digits, as "%02" writes it, without the cost of formatted printing
// on a line that every message of the log has.
char* atLeastTwoDigits(char* out, char* end, std::int64_t value)
{
    if (value < 0 || value > 99)
        return std::to_chars(out, end, value).ptr;
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

}  // namespace

std::string_view TimeStamp::format(std::int64_t blocks)
{
    const std::int64_t seconds = blocks / 10;
    char* const end = text_ + sizeof text_;
    char* out = atLeastTwoDigits(text_, end, seconds / 3600);
    *out++ = ':';
    out = atLeastTwoDigits(out, end, seconds % 3600 / 60);
    *out++ = ':';
    out = atLeastTwoDigits(out, end, seconds % 60);
    return std::string_view(text_, static_cast<std::size_t>(out - text_));
}

}  // namespace kest
