// The command table: each server command's payload, stepped over or read, and
// the records kest keeps from it. The frame never gets here: it ends its message.
#include "demo/server_message_decoder.h"

#include "demo/entity_delta.h"
#include "demo/player_state_delta.h"
#include "demo/server_command.h"
#include "demo/temp_entity.h"

namespace kest {
namespace {

constexpr std::uint16_t MapModelConfigString = 33;
constexpr std::uint16_t FirstPlayerConfigString = 1312;
constexpr std::int32_t FirstProtocolWithDownloadData = 32;
constexpr std::uint16_t MaxSoundEntityWord = 0x2000 | 7;  // entity 1024, any channel

}  // namespace

std::string mapFileName(std::string_view modelPath)
{
    const std::size_t slash = modelPath.find_last_of('/');
    std::string name(slash == std::string_view::npos ? modelPath : modelPath.substr(slash + 1));
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
}

std::optional<std::size_t> playerSlot(std::uint16_t index, std::uint16_t firstPlayer)
{
    const std::size_t slot = std::size_t{index} - firstPlayer;
    if (index < firstPlayer || slot >= PlayerSlots)
        return std::nullopt;
    return slot;
}

void appendPrint(MessageList& list, std::int64_t time, std::uint8_t level, std::string_view text)
{
    if (level <= static_cast<std::uint8_t>(RecordKind::Chat))
        list.append(time, static_cast<RecordKind>(level), text);
}

std::optional<std::uint64_t> ServerMessageDecoder::decodeMessage(BlockCursor& cursor, std::uint64_t end,
                                                                 std::int64_t time)
{
    time_ = time;
    prev_id = 0;
    isdemo = 1;
    return decodeCommands(cursor, end, [&] {
        this_id = cursor.readByte();
        // The frame ends what kest reads of a message: its payload and what follows are not examined.
        if (static_cast<ServerCommand>(this_id) == ServerCommand::Frame)
            return false;
        decodeCommand(cursor);
        prev_id = this_id;
        return true;
    });
}

void ServerMessageDecoder::decodeCommand(BlockCursor& cursor)
{
    using namespace width;
    switch (static_cast<ServerCommand>(this_id)) {
    case ServerCommand::Bad:
        reporter_.report_error("KEST: Unknown demo format (this_id: 0x%X prev_id: 0x%X)!", 0u, unsigned{prev_id});
    case ServerCommand::MuzzleFlash:
    case ServerCommand::MonsterMuzzleFlash:
        cursor.skip(Short /* entity */ + Byte /* flash */);
        break;
    case ServerCommand::TempEntity:
        decodeTempEntity(cursor);
        break;
    case ServerCommand::Layout:
        decodeLayout(cursor);
        break;
    case ServerCommand::StuffText:
    case ServerCommand::CenterPrint:
        cursor.readString();
        break;
    case ServerCommand::Inventory:
        cursor.skip(256 * Short);
        break;
    case ServerCommand::Nop:
    case ServerCommand::Disconnect:
    case ServerCommand::Reconnect:
    case ServerCommand::DeltaPacketEntities:
        break;
    case ServerCommand::Sound:
        decodeSound(cursor);
        break;
    case ServerCommand::Print:
        decodePrint(cursor);
        break;
    case ServerCommand::ServerData:
        decodeServerData(cursor);
        break;
    case ServerCommand::ConfigString:
        decodeConfigString(cursor);
        break;
    case ServerCommand::SpawnBaseline:
        skipEntityDeltaFields(cursor, readEntityDeltaHeader(cursor).bits);
        break;
    case ServerCommand::Download:
        decodeDownload(cursor);
        break;
    case ServerCommand::PlayerInfo:
        skipPlayerStateDelta(cursor);
        break;
    case ServerCommand::PacketEntities:
        decodePacketEntities(cursor);
        break;
    default:
        reporter_.report_error("KEST: Unknown demo format (isdemo: %i this_id: 0x%X prev_id: 0x%X sv_version: %i)!",
                               isdemo, unsigned{this_id}, unsigned{prev_id}, sv_version);
    }
}

void ServerMessageDecoder::decodeLayout(BlockCursor& cursor)
{
    const std::string_view layout = cursor.readString();
    // The game's scoreboard comes as a layout.
    if (matchFacts_)
        list_.append(time_, RecordKind::Layout, layout);
}

void ServerMessageDecoder::decodeTempEntity(BlockCursor& cursor)
{
    const auto payload = tempEntityPayloadWidth(cursor.readByte());
    if (!payload)
        reporter_.report_error("Unknown entity!");
    cursor.skip(*payload);
}

void ServerMessageDecoder::decodeSound(BlockCursor& cursor)
{
    using namespace width;
    const std::uint8_t flags = cursor.readByte();
    cursor.skip(Byte);  // sound index
    if (flags & 0x01)
        cursor.skip(Byte);  // volume
    if (flags & 0x02)
        cursor.skip(Byte);  // attenuation
    if (flags & 0x10)
        cursor.skip(Byte);  // time offset
    if (flags & 0x08) {
        const std::uint16_t entityWord = cursor.readShort();  // entity number * 8 + channel
        if (entityWord > MaxSoundEntityWord)
            reporter_.report_error("Too many entities!");
    }
    if (flags & 0x04)
        cursor.skip(Position);
}

void ServerMessageDecoder::decodePrint(BlockCursor& cursor)
{
    const std::uint8_t level = cursor.readByte();
    appendPrint(list_, time_, level, cursor.readString());
}

void ServerMessageDecoder::decodeServerData(BlockCursor& cursor)
{
    const std::int32_t protocol = cursor.readLong();
    cursor.readLong();  // server count
    const std::uint8_t attractLoop = cursor.readByte();
    const std::string_view gameDirectory = cursor.readString();
    cursor.skip(width::Short);  // player number
    const std::string_view levelName = cursor.readString();
    sv_version = protocol;
    isdemo = attractLoop;
    if (keeps_ != Keeps::AllFacts)
        return;
    if (matchFacts_) {
        list_.append(time_, RecordKind::Protocol, std::to_string(protocol));
        list_.append(time_, RecordKind::GameDirectory, gameDirectory);
    }
    list_.append(time_, RecordKind::MapName, levelName);
}

void ServerMessageDecoder::decodeConfigString(BlockCursor& cursor)
{
    const std::uint16_t index = cursor.readShort();
    const std::string_view text = cursor.readString();
    if (keeps_ != Keeps::AllFacts)
        return;
    if (index == MapModelConfigString)
        list_.append(time_, RecordKind::MapFile, mapFileName(text));
    else if (const auto slot = playerSlot(index, FirstPlayerConfigString); slot && matchFacts_)
        list_.append(time_, playerRecordKind(*slot), text);
}

void ServerMessageDecoder::decodeDownload(BlockCursor& cursor)
{
    const std::uint16_t size = cursor.readShort();
    cursor.skip(width::Byte);  // percent
    if (sv_version >= FirstProtocolWithDownloadData)
        cursor.skip(size);
}

void ServerMessageDecoder::decodePacketEntities(BlockCursor& cursor)
{
    // Only an entity number of 0 ends the list, wherever the block ends.
    for (;;) {
        const EntityDeltaHeader header = readEntityDeltaHeader(cursor);
        if (header.number == 0)
            return;
        skipEntityDeltaFields(cursor, header.bits);
    }
}

}  // namespace kest
