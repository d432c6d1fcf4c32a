#include "demo/demo_parser.h"

#include "demo/server_command.h"

namespace kest {
namespace {

constexpr std::int32_t EndOfDemo = -1;

}  // namespace

inline std::optional<std::uint64_t> DemoParser::decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd)
{
    prev_id = 0;
    isdemo = 1;
    // Payloads may run past the block end; only the next command start is checked against it.
    while (cursor.offset() < blockEnd) {
        const std::uint64_t commandOffset = cursor.offset();
        try {
            this_id = cursor.readByte();
            // The frame ends what kest reads of a block: its payload and what follows are not examined.
            if (static_cast<ServerCommand>(this_id) == ServerCommand::Frame)
                return std::nullopt;
            decodeCommand(cursor);
        } catch (const DataEnded&) {
            return commandOffset;
        } catch (const FatalError& error) {
            throw DecodeError(error, commandOffset);
        }
        prev_id = this_id;
    }
    return std::nullopt;
}

std::optional<DemoDamage> DemoParser::run(MessageList& list)
{
    list_ = &list;
    for (std::uint64_t lengthOffset = 0;;) {
        BlockCursor cursor = window_.cursorAt(lengthOffset);
        const std::size_t lengthBytes = cursor.available(width::Long);
        if (lengthBytes == 0)
            return std::nullopt;
        if (lengthBytes < width::Long)
            return DemoDamage{lengthOffset};
        const std::int32_t blockLength = cursor.readLong();
        if (blockLength == EndOfDemo)
            return std::nullopt;
        if (blockLength < 0)
            return DemoDamage{lengthOffset};
        ++blockCount_;
        const std::uint64_t blockEnd = cursor.offset() + static_cast<std::uint32_t>(blockLength);
        window_.keepFrom(blockEnd);
        const auto failedCommand = decodeBlock(cursor, blockEnd);
        // A block cut short by the file's end is decoded as far as its bytes go.
        if (!window_.reaches(blockEnd))
            return DemoDamage{lengthOffset};
        if (failedCommand)
            return DemoDamage{*failedCommand};
        lengthOffset = blockEnd;
    }
}

}  // namespace kest
