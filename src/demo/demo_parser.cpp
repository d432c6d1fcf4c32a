#include "demo/demo_parser.h"

#include <algorithm>
#include <array>

#include "demo/multi_view_decoder.h"

namespace kest {
namespace {

// A player's recording: blocks behind signed 32-bit lengths, until -1.
constexpr BlockFraming PlayerFraming{0, 4, 0xFFFFFFFF, 0x7FFFFFFF};

// A multi-view recording starts with its magic; then blocks behind 16-bit lengths, until 0.
constexpr std::array<std::uint8_t, 4> MultiViewMagic = {'M', 'V', 'D', '2'};
constexpr BlockFraming MultiViewFraming{MultiViewMagic.size(), 2, 0, 0xFFFF};

bool startsMultiView(DemoWindow& window)
{
    BlockCursor cursor = window.cursorAt(0);
    return cursor.available(MultiViewMagic.size()) == MultiViewMagic.size() &&
           std::equal(MultiViewMagic.begin(), MultiViewMagic.end(), cursor.readBytes(MultiViewMagic.size()));
}

// A player's recording: every block is one message of server commands.
class PlayerDecoder {
public:
    explicit PlayerDecoder(MessageList& list) : messages_(list, ServerMessageDecoder::Keeps::AllFacts) {}

    std::optional<std::uint64_t> decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd, std::int64_t blockNumber)
    {
        return messages_.decodeMessage(cursor, blockEnd, blockNumber);
    }

private:
    ServerMessageDecoder messages_;
};

}  // namespace

std::optional<DemoDamage> DemoParser::run(MessageList& list)
{
    if (startsMultiView(window_)) {
        MultiViewDecoder decoder(list);
        return walk(MultiViewFraming, decoder);
    }
    PlayerDecoder decoder(list);
    return walk(PlayerFraming, decoder);
}

template <typename Decoder>
std::optional<DemoDamage> DemoParser::walk(const BlockFraming& framing, Decoder& decoder)
{
    for (std::uint64_t lengthOffset = framing.firstBlock;;) {
        BlockCursor cursor = window_.cursorAt(lengthOffset);
        const std::size_t lengthBytes = cursor.available(framing.lengthWidth);
        if (lengthBytes == 0)
            return std::nullopt;
        if (lengthBytes < framing.lengthWidth)
            return DemoDamage{lengthOffset};
        const std::uint32_t blockLength =
            framing.lengthWidth == width::Long ? static_cast<std::uint32_t>(cursor.readLong()) : cursor.readShort();
        if (blockLength == framing.endMarker)
            return std::nullopt;
        if (blockLength > framing.longestBlock)
            return DemoDamage{lengthOffset};
        ++blockCount_;
        const std::uint64_t blockEnd = cursor.offset() + blockLength;
        window_.keepFrom(blockEnd);
        const auto failedCommand = decoder.decodeBlock(cursor, blockEnd, blockCount_);
        // A block cut short by the file's end is decoded as far as its bytes go.
        if (!window_.reaches(blockEnd))
            return DemoDamage{lengthOffset};
        if (failedCommand)
            return DemoDamage{*failedCommand};
        lengthOffset = blockEnd;
    }
}

}  // namespace kest
