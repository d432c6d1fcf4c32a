// The command table of a multi-view recording: each command's payload, stepped
// over or read, and the records kest keeps from it. The frame never gets here:
// it ends its block.
#include <string>
#include <utility>
#include <vector>

#include "demo/multi_view_decoder.h"
#include "demo/server_command.h"

namespace kest {
namespace {

constexpr std::int32_t MultiViewProtocol = 37;
// The minor versions a multi-view player reads; from the first, the flags have a short of
// their own, and before it the command's extra bits are the flags.
constexpr std::uint16_t OldestMinorVersion = 2009;
constexpr std::uint16_t FirstMinorVersionWithExtendedLimits = 2011;
constexpr std::uint16_t FirstMinorVersionWithFlagsShort = 2012;
constexpr std::uint16_t NewestMinorVersion = 2012;
constexpr std::uint16_t ExtendedLimitsFlag = 4;

// The config string table: its end, which the server data's list ends with, the map model,
// and the first player's.
struct ConfigStringTable {
    std::uint16_t end;
    std::uint16_t mapModel;
    std::uint16_t firstPlayer;
};
constexpr ConfigStringTable StandardTable{2080, 33, 1312};
constexpr ConfigStringTable ExtendedTable{13630, 63, 12862};
constexpr std::uint16_t LevelNameConfigString = 0;

constexpr std::uint8_t SoundVolume = 0x01;
constexpr std::uint8_t SoundAttenuation = 0x02;
constexpr std::uint8_t SoundTimeOffset = 0x10;
constexpr std::uint8_t SoundIndexIsShort = 0x20;  // with extended limits only

}  // namespace

std::optional<std::uint64_t> MultiViewDecoder::decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd,
                                                           std::int64_t blockNumber)
{
    prev_id = 0;
    bool first = true;
    return decodeCommands(cursor, blockEnd, [&] {
        this_id = cursor.readByte();
        const MultiViewCommand command = multiViewCommandOf(this_id);
        // The server data starts a level: its block is the connection, not play.
        if (first && command == MultiViewCommand::ServerData)
            ++serverDataBlocks_;
        first = false;
        time_ = blockNumber - serverDataBlocks_;
        // The frame ends what kest reads of a block: the server writes every message before it.
        if (command == MultiViewCommand::Frame)
            return false;
        decodeCommand(cursor);
        prev_id = this_id;
        // So does the baseline frame that ends the server data.
        return command != MultiViewCommand::ServerData;
    });
}

void MultiViewDecoder::decodeCommand(BlockCursor& cursor)
{
    const unsigned extraBits = this_id >> MultiViewCommandBits;
    switch (multiViewCommandOf(this_id)) {
    case MultiViewCommand::ServerData:
        decodeServerData(cursor, extraBits);
        break;
    case MultiViewCommand::ConfigString:
        decodeConfigString(cursor);
        break;
    case MultiViewCommand::Unicast:
    case MultiViewCommand::ReliableUnicast:
        decodeUnicast(cursor, extraBits);
        break;
    case MultiViewCommand::Print: {
        const std::uint8_t level = cursor.readByte();
        appendPrint(list_, time_, level, cursor.readString());
        break;
    }
    default:
        if (!stepOverQuiet(cursor, this_id))
            reportUnknownFormat();
    }
}

// The commands that keep nothing, whatever they hold, and the config strings the match facts do not keep.
bool MultiViewDecoder::stepOverQuiet(BlockCursor& cursor, std::uint8_t code) const
{
    using namespace width;
    const unsigned extraBits = code >> MultiViewCommandBits;
    switch (multiViewCommandOf(code)) {
    case MultiViewCommand::Nop:
        return true;
    case MultiViewCommand::ConfigString: {
        const std::uint16_t index = cursor.readShort();
        cursor.readString();
        return !keptPlayerSlot(index);
    }
    case MultiViewCommand::MulticastAll:
    case MultiViewCommand::ReliableMulticastAll:
        stepOverMulticast(cursor, extraBits, false);
        return true;
    case MultiViewCommand::MulticastHearable:
    case MultiViewCommand::MulticastVisible:
    case MultiViewCommand::ReliableMulticastHearable:
    case MultiViewCommand::ReliableMulticastVisible:
        stepOverMulticast(cursor, extraBits, true);
        return true;
    case MultiViewCommand::Sound:
        stepOverSound(cursor);
        return true;
    default:
        return false;
    }
}

bool MultiViewDecoder::keepsNothing(const std::uint8_t* message, std::size_t length) const
{
    // Exactly the block's bytes: a payload that runs past them takes the cursor's way.
    BlockCursor cursor(message, length);
    try {
        while (cursor.available(1) > 0) {
            const std::uint8_t code = cursor.readByte();
            const MultiViewCommand command = multiViewCommandOf(code);
            if (command == MultiViewCommand::Frame)
                return true;
            if (command == MultiViewCommand::Unicast || command == MultiViewCommand::ReliableUnicast) {
                const UnicastHeader unicast = readUnicastHeader(cursor, code >> MultiViewCommandBits);
                if (unicast.client == ownClient_)
                    return false;
                cursor.skip(unicast.length);
            } else if (!stepOverQuiet(cursor, code)) {
                return false;
            }
        }
        return true;
    } catch (const DataEnded&) {
        return false;
    }
}

void MultiViewDecoder::reportUnknownFormat() const
{
    reporter_.report_error("KEST: Unknown demo format (this_id: 0x%X prev_id: 0x%X)!", unsigned{this_id},
                           unsigned{prev_id});
}

void MultiViewDecoder::decodeServerData(BlockCursor& cursor, unsigned extraBits)
{
    if (cursor.readLong() != MultiViewProtocol)
        reportUnknownFormat();
    const std::uint16_t minorVersion = cursor.readShort();
    if (minorVersion < OldestMinorVersion || minorVersion > NewestMinorVersion)
        reportUnknownFormat();
    const unsigned flags = minorVersion >= FirstMinorVersionWithFlagsShort ? cursor.readShort() : extraBits;
    cursor.readLong();  // server count
    const std::string_view gameDirectory = cursor.readString();
    ownClient_ = static_cast<std::int16_t>(cursor.readShort());
    extendedLimits_ = minorVersion >= FirstMinorVersionWithExtendedLimits && (flags & ExtendedLimitsFlag) != 0;
    if (matchFacts_) {
        list_.append(time_, RecordKind::Protocol, std::to_string(MultiViewProtocol));
        list_.append(time_, RecordKind::MinorVersion, std::to_string(minorVersion));
        list_.append(time_, RecordKind::GameDirectory, gameDirectory);
    }
    const ConfigStringTable table = extendedLimits_ ? ExtendedTable : StandardTable;
    std::string levelName;
    std::string mapFile;
    // The players come after the level's name and map, as in a player's demo.
    std::vector<std::pair<std::size_t, std::string>> players;
    for (std::uint16_t index = cursor.readShort(); index != table.end; index = cursor.readShort()) {
        const std::string_view text = cursor.readString();
        if (index == LevelNameConfigString)
            levelName = text;
        else if (index == table.mapModel)
            mapFile = mapFileName(text);
        else if (const auto slot = keptPlayerSlot(index))
            players.emplace_back(*slot, std::string(text));
    }
    list_.append(time_, RecordKind::MapName, levelName);
    list_.append(time_, RecordKind::MapFile, mapFile);
    for (const auto& [slot, text] : players)
        list_.append(time_, playerRecordKind(slot), text);
}

void MultiViewDecoder::decodeConfigString(BlockCursor& cursor)
{
    const std::uint16_t index = cursor.readShort();
    const std::string_view text = cursor.readString();
    if (const auto slot = keptPlayerSlot(index))
        list_.append(time_, playerRecordKind(*slot), text);
}

std::optional<std::size_t> MultiViewDecoder::keptPlayerSlot(std::uint16_t index) const
{
    if (!matchFacts_)
        return std::nullopt;
    const auto slot = playerSlot(index, (extendedLimits_ ? ExtendedTable : StandardTable).firstPlayer);
    if (!slot || static_cast<std::int32_t>(*slot) == ownClient_)
        return std::nullopt;
    return slot;
}

MultiViewDecoder::UnicastHeader MultiViewDecoder::readUnicastHeader(BlockCursor& cursor, unsigned extraBits)
{
    const std::size_t length = cursor.readByte() | extraBits << 8;
    return {length, cursor.readByte()};
}

void MultiViewDecoder::decodeUnicast(BlockCursor& cursor, unsigned extraBits)
{
    const UnicastHeader unicast = readUnicastHeader(cursor, extraBits);
    // What the server sent players is their own copy of what everyone was shown; only
    // the recording's own client's copy is what someone following no player saw.
    if (unicast.client != ownClient_) {
        cursor.skip(unicast.length);
        return;
    }
    // The unicast's length bounds its commands: one that would run past it, or that a
    // player's demo could not hold, ends the unicast and nothing else.
    const std::size_t present = cursor.available(unicast.length);
    BlockCursor commands(cursor.readBytes(present), present);
    try {
        ownClientMessages_.decodeMessage(commands, present, time_);
    } catch (const DecodeError&) {
    }
    if (present < unicast.length)
        throw DataEnded{};
}

void MultiViewDecoder::stepOverMulticast(BlockCursor& cursor, unsigned extraBits, bool hasLeaf)
{
    const std::size_t length = cursor.readByte() | extraBits << 8;
    if (hasLeaf)
        cursor.skip(width::Short);  // the leaf whose hearable or visible set it goes to
    cursor.skip(length);
}

void MultiViewDecoder::stepOverSound(BlockCursor& cursor) const
{
    using namespace width;
    const std::uint8_t flags = cursor.readByte();
    cursor.skip(extendedLimits_ && (flags & SoundIndexIsShort) ? Short : Byte);  // sound index
    if (flags & SoundVolume)
        cursor.skip(Byte);
    if (flags & SoundAttenuation)
        cursor.skip(Byte);
    if (flags & SoundTimeOffset)
        cursor.skip(Byte);
    cursor.skip(Short);  // entity and channel
}

}  // namespace kest
