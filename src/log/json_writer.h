#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/platform.h"
#include "log/message_list.h"
#include "match/match_facts.h"

namespace kest {

class FactsJson;

// The match facts of a list as JSON Lines, one object per demo in the log's order, made a
// piece at a time: a long demo's messages are never in memory as JSON whole.
class JsonPieces final : public FileContent {
public:
    static constexpr std::size_t DefaultCapacity = 64 * 1024;

    explicit JsonPieces(const MessageList& list, std::size_t capacity = DefaultCapacity);
    ~JsonPieces() override;

    std::string_view nextPiece() override;

private:
    const MessageList& list_;
    std::vector<DemoRecords> demos_;
    std::size_t nextDemo_ = 0;
    std::optional<DemoMessages> messages_;  // of the demo being written
    std::size_t capacity_;
    // Its line may go on from one piece to the next.
    std::unique_ptr<FactsJson> json_;
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
