#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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

    // The facts behind the messages, kept only for the match facts (--json, --html): the log
    // shows none of them. Numbers are in decimal, as the file size is.
    DemoFormat = 200,     // "dm2" or "mvd2"
    Compressed = 201,     // the file is gzip-compressed; no text
    Protocol = 202,       // each server data's protocol
    MinorVersion = 203,   // each multi-view server data's minor version
    GameDirectory = 204,  // each server data's game directory
    Layout = 205,         // a layout the recording's player was shown
    PlayTime = 206,       // at the demo's last block read, whose number is its time; no text
    DamageOffset = 207,   // where a damaged demo stops making sense
    StopOffset = 208,     // where a demo kest does not know stops, when the run keeps going
    StopError = 209,      // the error it stops with
    // A player's config string, kinds Player to Player + 255 by the player's slot.
    Player = 1000,
};

constexpr std::size_t PlayerSlots = 256;

constexpr RecordKind playerRecordKind(std::size_t slot)
{
    return static_cast<RecordKind>(static_cast<std::int32_t>(RecordKind::Player) + static_cast<std::int32_t>(slot));
}

// The slot of a player's config string record.
constexpr std::optional<std::size_t> playerSlotOf(RecordKind kind)
{
    const std::int32_t slot = static_cast<std::int32_t>(kind) - static_cast<std::int32_t>(RecordKind::Player);
    if (slot < 0 || slot >= static_cast<std::int32_t>(PlayerSlots))
        return std::nullopt;
    return static_cast<std::size_t>(slot);
}

struct MessageRecord {
    std::int64_t time;  // block number within its demo; 0 for the demo's own facts
    RecordKind kind;
    std::string_view text;  // the list's own copy, there as long as the record is
};

// Every fact of the run, in the order found, across all demos. A long recording holds
// millions of them, so a record costs little more than its text: the texts lie one after
// another in large chunks of the list's own, the records in chunks of their own, and neither
// ever moves or is copied again once appended.
class MessageList {
public:
    MessageList() = default;
    virtual ~MessageList() = default;
    MessageList(const MessageList&) = delete;
    MessageList& operator=(const MessageList&) = delete;

    void append(std::int64_t time, RecordKind kind, std::string_view text);

    // Gives the record appended as the index-th (from 0) another text: a fact that
    // was known only later, like the size of a file that shrank while it was read.
    void replaceText(std::size_t index, std::string_view text);

    // Drops every record after the first `count`, and the memory of their texts: what a demo
    // had added before it could not be read on.
    void keepFirst(std::size_t count);

    // One cursor: first() starts it, next() moves it; both give nullptr past the last record.
    // The record they give is valid until the cursor moves or the list changes.
    const MessageRecord* first();
    const MessageRecord* next();

    // The record appended as the index-th (from 0), outside the cursor; valid while the list is.
    MessageRecord at(std::size_t index) const;

    std::size_t size() const { return size_; }

private:
    // 4096 records of 24 bytes: 96 KiB, under the size from which the C library maps each
    // block of memory afresh and gives it back on every release.
    static constexpr std::size_t RecordsPerChunk = 4096;
    // Texts longer than this have a chunk to themselves.
    static constexpr std::size_t TextChunkSize = 64 * 1024;

    // Where its text lies: `length` bytes at `offset` in text chunk `chunk`. An offset fits in
    // 17 bits: only chunks of TextChunkSize bytes take more than one text. (2^32 chunks would
    // be more memory than a machine has.)
    struct StoredRecord {
        std::int64_t time;
        RecordKind kind;
        std::uint32_t chunk;
        std::uint64_t offset : 17;
        std::uint64_t length : 47;
    };
    static_assert(sizeof(StoredRecord) == 24, "a record costs 24 bytes besides its text");

    struct TextChunk {
        std::unique_ptr<char[]> bytes;
        std::size_t size;
    };

    // Where the next text goes, in the order texts are stored. A chunk one past the last
    // means that the next text needs a new chunk.
    struct TextEnd {
        std::size_t chunk;
        std::size_t used;
        bool operator<(const TextEnd& other) const
        {
            return chunk != other.chunk ? chunk < other.chunk : used < other.used;
        }
    };

    StoredRecord& stored(std::size_t index) { return records_[index / RecordsPerChunk][index % RecordsPerChunk]; }
    const StoredRecord& stored(std::size_t index) const
    {
        return records_[index / RecordsPerChunk][index % RecordsPerChunk];
    }
    // Copies the text after the last one stored, setting the record's place for it.
    void store(StoredRecord& record, std::string_view text);
    const MessageRecord* show(std::size_t index);

    std::vector<std::unique_ptr<StoredRecord[]>> records_;
    std::size_t size_ = 0;
    std::vector<TextChunk> texts_;
    TextEnd textEnd_{0, 0};
    // Texts before this one belong to records that may be kept whatever is dropped: the
    // last text that replaced another, stored after texts of later records.
    TextEnd keptTexts_{0, 0};
    std::size_t cursor_ = 0;
    MessageRecord shown_{};
};

}  // namespace kest
