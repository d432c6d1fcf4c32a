#include "demo/demo_parser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "demo/multi_view_decoder.h"
#include "demo/server_command.h"

namespace kest {
namespace {

// A player's recording: blocks behind signed 32-bit lengths, until -1.
struct PlayerFormat {
    static constexpr BlockFraming Framing{0, 4, 0xFFFFFFFF, 0x7FFFFFFF};
    static bool isFrame(std::uint8_t code) { return code == static_cast<std::uint8_t>(ServerCommand::Frame); }
};

// A multi-view recording starts with its magic; then blocks behind 16-bit lengths, until 0.
constexpr std::array<std::uint8_t, 4> MultiViewMagic = {'M', 'V', 'D', '2'};
struct MultiViewFormat {
    static constexpr BlockFraming Framing{MultiViewMagic.size(), 2, 0, 0xFFFF};
    static bool isFrame(std::uint8_t code)
    {
        return multiViewCommandOf(code) == MultiViewCommand::Frame;
    }
};

bool startsMultiView(DemoWindow& window)
{
    BlockCursor cursor = window.cursorAt(0);
    return cursor.available(MultiViewMagic.size()) == MultiViewMagic.size() &&
           std::equal(MultiViewMagic.begin(), MultiViewMagic.end(), cursor.readBytes(MultiViewMagic.size()));
}

// A player's recording: every block is one message of server commands.
class PlayerDecoder {
public:
    PlayerDecoder(MessageList& list, FactScope scope) : messages_(list, ServerMessageDecoder::Keeps::AllFacts, scope) {}

    std::optional<std::uint64_t> decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd, std::int64_t blockNumber)
    {
        return messages_.decodeMessage(cursor, blockEnd, blockNumber);
    }

    // Nearly all the blocks that keep nothing start with the frame; the rest are not worth a look.
    bool keepsNothing(const std::uint8_t*, std::size_t) const { return false; }

    // Every block is a tenth of a second of play.
    std::int64_t playTime(std::int64_t blocks) const { return blocks; }

private:
    ServerMessageDecoder messages_;
};

// A length field's value, low byte first: one load on a little-endian machine.
template <std::size_t Width>
std::uint32_t lengthAt(const std::uint8_t* bytes)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::conditional_t<Width == 2, std::uint16_t, std::uint32_t> value;
    std::memcpy(&value, bytes, Width);
    return value;
#else
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < Width; ++i)
        value |= std::uint32_t{bytes[i]} << (8 * i);
    return value;
#endif
}

}  // namespace

std::optional<DemoDamage> DemoParser::run(MessageList& list)
{
    const bool multiView = startsMultiView(window_);
    if (scope_ == FactScope::Match)
        list.append(0, RecordKind::DemoFormat, multiView ? "mvd2" : "dm2");
    if (multiView) {
        MultiViewDecoder decoder(list, scope_);
        return walkTimed<MultiViewFormat>(decoder, list);
    }
    PlayerDecoder decoder(list, scope_);
    return walkTimed<PlayerFormat>(decoder, list);
}

template <typename Format, typename Decoder>
std::optional<DemoDamage> DemoParser::walkTimed(Decoder& decoder, MessageList& list)
{
    const auto recordPlayTime = [&] {
        if (scope_ == FactScope::Match)
            list.append(decoder.playTime(blockCount_), RecordKind::PlayTime, {});
    };
    try {
        const std::optional<DemoDamage> damage = walk<Format>(decoder);
        recordPlayTime();
        return damage;
    } catch (const DecodeError&) {
        recordPlayTime();
        throw;
    }
}

// Nine blocks in ten start with the frame, which ends what kest reads of them, and of a
// multi-view recording's others many hold only commands that keep nothing: while such a block
// is wholly at hand in the window, counting it and stepping over it is all there is to do.
template <typename Format, typename Decoder>
std::uint64_t DemoParser::skipQuietBlocks(std::uint64_t lengthOffset, const Decoder& decoder)
{
    constexpr std::size_t Width = Format::Framing.lengthWidth;
    const std::uint8_t* bytes = nullptr;
    const std::size_t atHand = window_.atHand(lengthOffset, bytes);
    const std::uint8_t* block = bytes;
    const std::uint8_t* const end = bytes + atHand;
    std::int64_t blocks = 0;
    if (atHand > Width) {
        // A length field and the byte after it are at hand before this.
        const std::uint8_t* const lastField = end - Width;
        while (block < lastField) {
            const std::uint8_t* const message = block + Width;
            // An empty block (its length wraps round), the end marker, damage, a block not wholly
            // at hand and one that may keep something take the general way.
            const std::uint32_t length = lengthAt<Width>(block);
            if (std::size_t{length} - 1 >= static_cast<std::size_t>(end - message) ||
                !(Format::isFrame(*message) || decoder.keepsNothing(message, length)))
                break;
            ++blocks;
            block = message + length;
        }
    }
    blockCount_ += blocks;
    lengthOffset += static_cast<std::uint64_t>(block - bytes);
    window_.keepFrom(lengthOffset);
    return lengthOffset;
}

template <typename Format, typename Decoder>
std::optional<DemoDamage> DemoParser::walk(Decoder& decoder)
{
    constexpr BlockFraming framing = Format::Framing;
    for (std::uint64_t lengthOffset = framing.firstBlock;;) {
        if (walk_ == Walk::Lean)
            lengthOffset = skipQuietBlocks<Format>(lengthOffset, decoder);
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
