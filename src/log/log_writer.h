#pragma once

#include <string>
#include <string_view>

#include "log/message_list.h"

namespace kest {

class Platform;

// Turns the collected facts into the log: a header group per demo, time-stamped
// messages, and one empty line wherever the output switches between the two.
class LogWriter {
public:
    virtual ~LogWriter() = default;

    // The whole log's bytes.
    std::string render(MessageList& list);

    // Writes the log to fileName; false if it could not be written completely.
    bool write(MessageList& list, const std::string& fileName, Platform& platform);
};

}  // namespace kest
