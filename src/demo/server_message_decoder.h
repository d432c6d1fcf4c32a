#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "demo/block_cursor.h"
#include "driver/error_reporter.h"
#include "log/message_list.h"

namespace kest {

// A fatal error raised by decoding one command, with where that command's code
// byte is: a run that keeps going past such a demo keeps its records up to there.
class DecodeError : public FatalError {
public:
    DecodeError(const FatalError& error, std::uint64_t offset) : FatalError(error), offset_(offset) {}

    std::uint64_t offset() const { return offset_; }

private:
    std::uint64_t offset_;
};

// Decodes one command after another while they start before `end`, each with
// `decodeOne`, until it says the message is done. Gives the offset of a command
// that ran out of data, if one did; a command's fatal error becomes a DecodeError
// at its offset.
template <typename DecodeOne>
std::optional<std::uint64_t> decodeCommands(BlockCursor& cursor, std::uint64_t end, DecodeOne decodeOne)
{
    // Payloads may run past the end; only the next command start is checked against it.
    while (cursor.offset() < end) {
        const std::uint64_t commandOffset = cursor.offset();
        try {
            if (!decodeOne())
                return std::nullopt;
        } catch (const DataEnded&) {
            return commandOffset;
        } catch (const FatalError& error) {
            throw DecodeError(error, commandOffset);
        }
    }
    return std::nullopt;
}

// The map model's path names the map file: what follows its last '/', upper-cased.
std::string mapFileName(std::string_view modelPath);

// The facts a decoder keeps: those the log shows, or also those behind the messages
// that the match facts need (protocol, game directory, players, layouts).
enum class FactScope { Log, Match };

// The slot of a player's config string in a table whose players start at `firstPlayer`.
std::optional<std::size_t> playerSlot(std::uint16_t index, std::uint16_t firstPlayer);

// Decodes the server-to-client commands of one message as a player's client
// receives them: a block of a player's recording, or what a multi-view
// recording sends one client. Unknown commands raise a DecodeError through
// report_error.
class ServerMessageDecoder {
public:
    // What it keeps of a message: everything, or only what was printed.
    enum class Keeps { AllFacts, PrintsOnly };

    ServerMessageDecoder(MessageList& list, Keeps keeps, FactScope scope)
        : list_(list), keeps_(keeps), matchFacts_(scope == FactScope::Match)
    {
    }
    virtual ~ServerMessageDecoder() = default;

    // Decodes the commands that start before `end`, up to the frame, with records at
    // `time`. Gives the offset of a command that ran out of data, if one did.
    std::optional<std::uint64_t> decodeMessage(BlockCursor& cursor, std::uint64_t end, std::int64_t time);

private:
    // Every command but the frame, which decodeMessage takes as the end of the message.
    void decodeCommand(BlockCursor& cursor);

    void decodeLayout(BlockCursor& cursor);
    void decodeTempEntity(BlockCursor& cursor);
    void decodeSound(BlockCursor& cursor);
    void decodePrint(BlockCursor& cursor);
    void decodeServerData(BlockCursor& cursor);
    void decodeConfigString(BlockCursor& cursor);
    void decodeDownload(BlockCursor& cursor);
    void decodePacketEntities(BlockCursor& cursor);

    MessageList& list_;
    Keeps keeps_;
    bool matchFacts_;
    ErrorReporter reporter_;
    std::int64_t time_ = 0;

    // Decoding state, named as the error messages show it.
    std::uint8_t this_id = 0;
    std::uint8_t prev_id = 0;
    std::int32_t isdemo = 1;
    std::int32_t sv_version = 0;  // the demo's protocol, once its server data is read
};

// A print's level is its record's kind; levels above chat are no messages kest
// knows, and as kinds they would pose as header lines.
void appendPrint(MessageList& list, std::int64_t time, std::uint8_t level, std::string_view text);

}  // namespace kest
