#include "driver/error_reporter.h"

#include <cstdarg>
#include <cstdio>

namespace kest {

void ErrorReporter::report_error(const char* format, ...) const
{
    std::va_list args;
    va_start(args, format);
    std::va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(message.data(), message.size() + 1, format, args);
    va_end(args);
    throw FatalError(message);
}

}  // namespace kest
