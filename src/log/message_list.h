#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// What a record's text is. A print command's level (0 to 3) is its kind.
enum class RecordKind : std::int32_t {
    Print = 0,  // collected, never shown
    Frag = 1,
    ClientServer = 2,
    Chat = 3,
    MapFile = 4,
    MapName = 6,
    DemoFileName = 100,
    DemoFileSize = 101,
};

struct MessageRecord {
    std::int64_t time;  // block number within its demo; 0 for the demo's own facts
    RecordKind kind;
    std::string text;
};

// Every fact of the run, in the order found, across all demos.
class MessageList {
public:
    virtual ~MessageList() = default;

    void append(std::int64_t time, RecordKind kind, std::string_view text);

    // Gives the record appended as the index-th (from 0) another text: a fact that
    // was known only later, like the size of a file that shrank while it was read.
    void replaceText(std::size_t index, std::string_view text) { records_.at(index).text = text; }

    // Drops every record after the first `count`: what a demo had added before it could not be read on.
    void keepFirst(std::size_t count)
    {
        records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(std::min(count, records_.size())), records_.end());
    }

    // One cursor: first() starts it, next() moves it; both give nullptr past the last record.
    const MessageRecord* first();
    const MessageRecord* next();

    std::size_t size() const { return records_.size(); }

private:
    std::vector<MessageRecord> records_;
    std::size_t cursor_ = 0;
};

}  // namespace kest
