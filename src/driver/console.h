#pragma once

#include <memory>
#include <string_view>

namespace kest {

// Where kest tells the user how the run goes. Each call brings whole lines in UTF-8, each
// ending in '\n', and they go out at once, in one write: a console that got a line's bytes
// in pieces could show a character cut between them, and lines held back for later would
// be lost if the process never got to write them.
class Console {
public:
    virtual ~Console() = default;

    virtual void write(std::string_view lines) = 0;
};

// The process's standard output.
std::unique_ptr<Console> makeNativeConsole();

}  // namespace kest
