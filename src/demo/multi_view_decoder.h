#pragma once

#include <cstdint>
#include <optional>

#include "demo/block_cursor.h"
#include "demo/server_command.h"
#include "demo/server_message_decoder.h"
#include "driver/error_reporter.h"
#include "log/message_list.h"

namespace kest {

// Decodes the blocks of a multi-view recording, the one a server makes of a
// whole match, and keeps what someone watching it, following no player, is
// shown: every print, and the prints the server sent the recording's own client.
// Unknown commands raise a DecodeError through report_error.
class MultiViewDecoder {
public:
    MultiViewDecoder(MessageList& list, FactScope scope)
        : list_(list),
          ownClientMessages_(list, ServerMessageDecoder::Keeps::PrintsOnly, scope),
          matchFacts_(scope == FactScope::Match)
    {
    }
    virtual ~MultiViewDecoder() = default;

    // Decodes block number `blockNumber` (from 1), up to the frame. Gives the offset
    // of a command that ran out of data, if one did.
    std::optional<std::uint64_t> decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd, std::int64_t blockNumber);

    // Whether a block whose bytes are all at hand holds, before its frame, only commands that
    // keep nothing (multicasts, sounds, config strings, unicasts to other clients): then there
    // is nothing to decode in it. Reads nothing outside those bytes.
    bool keepsNothing(const std::uint8_t* message, std::size_t length) const;

    // The play time after `blocks` blocks: those that start with server data are the connection.
    std::int64_t playTime(std::int64_t blocks) const { return blocks - serverDataBlocks_; }

private:
    struct UnicastHeader {
        std::size_t length;
        std::uint8_t client;
    };

    static UnicastHeader readUnicastHeader(BlockCursor& cursor, unsigned extraBits);

    // Every command but the frame, which decodeBlock takes as the end of the block.
    void decodeCommand(BlockCursor& cursor);
    // False for a command that may keep something, or one that is unknown.
    bool stepOverQuiet(BlockCursor& cursor, std::uint8_t code) const;

    void decodeServerData(BlockCursor& cursor, unsigned extraBits);
    void decodeConfigString(BlockCursor& cursor);
    // The slot of a player other than the recording's own client, for a config string the
    // match facts keep.
    std::optional<std::size_t> keptPlayerSlot(std::uint16_t index) const;
    void decodeUnicast(BlockCursor& cursor, unsigned extraBits);
    static void stepOverMulticast(BlockCursor& cursor, unsigned extraBits, bool hasLeaf);
    void stepOverSound(BlockCursor& cursor) const;
    void reportUnknownFormat() const;

    MessageList& list_;
    ServerMessageDecoder ownClientMessages_;
    bool matchFacts_;
    ErrorReporter reporter_;
    // A block is a tenth of a second of play, but for those that start with server data.
    std::int64_t time_ = 0;
    std::int64_t serverDataBlocks_ = 0;

    // The command codes as read, extra bits included, named as the error messages show them.
    std::uint8_t this_id = 0;
    std::uint8_t prev_id = 0;

    // What the latest server data said.
    bool extendedLimits_ = false;
    std::int32_t ownClient_ = -1;  // -1: the recording follows no client of its own
};

}  // namespace kest
