#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "driver/platform.h"
#include "log/message_list.h"
#include "log/time_stamp.h"

namespace kest {

// The log of a list, made a piece at a time into a buffer of its own: after the records,
// the log is the largest thing a run makes, and it is never in memory whole.
class LogPieces final : public FileContent {
public:
    static constexpr std::size_t DefaultCapacity = 64 * 1024;

    // Starts the list's cursor; the list must not change while the pieces are made.
    explicit LogPieces(MessageList& list, std::size_t capacity = DefaultCapacity);

    // As many of the next bytes as the buffer holds, fewer only at the end.
    std::string_view nextPiece() override;

private:
    // Sets out the next line the log shows; false after the last.
    bool startLine();

    MessageList& list_;
    const MessageRecord* record_;  // the next record to look at
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    TimeStamp stamp_;
    // The log starts as if a header group had just been written, so a leading
    // message line gets an empty line in front of it and a leading header does not.
    bool inMessages_ = false;
    std::string lineStart_;  // the empty line between groups, the time stamp, the title
    // What is still to be written of the current line: its start, its text, its LF.
    std::string_view lineParts_[3];
    std::size_t linePart_ = 3;
};

// Turns the collected facts into the log: a header group per demo, time-stamped
// messages, and one empty line wherever the output switches between the two.
class LogWriter {
public:
    virtual ~LogWriter() = default;

    // The whole log's bytes in one string, as the pieces make them.
    std::string render(MessageList& list);

    // Writes the log to fileName; false if it could not be written completely.
    bool write(MessageList& list, const std::string& fileName, Platform& platform);
};

}  // namespace kest
