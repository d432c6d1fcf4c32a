#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/platform.h"
#include "log/message_list.h"
#include "log/time_stamp.h"
#include "match/match_facts.h"

namespace kest {

// The match facts of a list as JSON Lines, one object per demo in the log's order, made a
// piece at a time: a long demo's messages are never in memory as JSON whole.
class JsonPieces final : public FileContent {
public:
    static constexpr std::size_t DefaultCapacity = 64 * 1024;

    explicit JsonPieces(const MessageList& list, std::size_t capacity = DefaultCapacity);

    std::string_view nextPiece() override;

private:
    // Sets out the next demo's facts, up to its messages; false after the last demo.
    bool startDemo();
    void addMessage(const DemoMessages::Message& message);

    const MessageList& list_;
    std::vector<DemoRecords> demos_;
    std::size_t nextDemo_ = 0;
    std::optional<DemoMessages> messages_;  // of the demo being written
    bool firstMessage_ = true;
    std::size_t capacity_;
    std::string piece_;
    TimeStamp stamp_;
};

// Writes kest.json: the facts behind each demo's messages, for tools to read.
class JsonWriter {
public:
    virtual ~JsonWriter() = default;

    std::string render(const MessageList& list);

    // False if it could not be written completely.
    bool write(const MessageList& list, const std::string& fileName, Platform& platform);
};

}  // namespace kest
