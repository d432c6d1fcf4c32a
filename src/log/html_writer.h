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

// The match report of a list: one self-contained HTML page of every demo's facts (a table of
// the demos, then per level the scoreboards, who fragged whom and the score over time, then the
// demo's messages), made a piece at a time: a long demo's messages are never in memory as HTML.
class HtmlPieces final : public FileContent {
public:
    static constexpr std::size_t DefaultCapacity = 64 * 1024;

    explicit HtmlPieces(const MessageList& list, std::size_t capacity = DefaultCapacity);

    std::string_view nextPiece() override;

private:
    // Sets out the page's next part up to a demo's messages, which come one at a time after it;
    // false after the last part.
    bool addPart();
    void addHead();
    void addSummaryRow(const DemoFacts& facts, std::size_t number);
    void addDemo(std::size_t number);
    void addLevel(const DemoFacts& facts, std::size_t demoNumber, std::size_t levelNumber);
    void addMessage(const DemoMessages::Message& message);
    void addDemoText(std::string_view text);

    const MessageList& list_;
    std::vector<DemoRecords> demos_;
    std::vector<DemoFacts> facts_;
    std::size_t nextPart_ = 0;
    std::optional<DemoMessages> messages_;  // of the demo being written
    std::size_t capacity_;
    std::string piece_;
    std::string text_;  // a demo's text as the console shows it, before it is escaped
    TimeStamp stamp_;
};

// Writes kest.html: the match report, for people to read.
class HtmlWriter {
public:
    virtual ~HtmlWriter() = default;

    // False if it could not be written completely.
    bool write(const MessageList& list, const std::string& fileName, Platform& platform);
};

}  // namespace kest
