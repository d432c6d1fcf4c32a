#pragma once

#include <stdexcept>
#include <string>

namespace kest {

// A problem that ends the run: no log is written and kest exits with 1. In a run that
// keeps going (-k), one that concerns a single pattern or demo leaves only that out.
class FatalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one way any part of kest reports a fatal problem. The error unwinds to
// the top of the run, which prints it; a fuzzing harness can catch it instead.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;

    [[noreturn]] void report_error(const char* format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

}  // namespace kest
