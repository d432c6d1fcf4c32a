#include "demo/demo_parser.h"

#include "demo/entity_delta.h"
#include "demo/player_state_delta.h"
#include "demo/server_command.h"
#include "demo/temp_entity.h"

namespace kest {
namespace {

constexpr std::int32_t EndOfDemo = -1;
constexpr std::uint16_t MapModelConfigString = 33;
constexpr std::int32_t FirstProtocolWithDownloadData = 32;
constexpr std::uint16_t MaxSoundEntityWord = 0x2000 | 7;  // entity 1024, any channel

// The map model's path names the map file: keep what follows the last '/', upper-cased.
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

}  // namespace

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

std::optional<std::uint64_t> DemoParser::decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd)
{
    prev_id = 0;
    isdemo = 1;
    // Payloads may run past the block end; only the next command start is checked against it.
    while (cursor.offset() < blockEnd) {
        const std::uint64_t commandOffset = cursor.offset();
        try {
            this_id = cursor.readByte();
            if (!decodeCommand(cursor))
                return std::nullopt;
        } catch (const DataEnded&) {
            return commandOffset;
        } catch (const FatalError& error) {
            throw DecodeError(error, commandOffset);
        }
        prev_id = this_id;
    }
    return std::nullopt;
}

bool DemoParser::decodeCommand(BlockCursor& cursor)
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
    case ServerCommand::Frame:
        // The frame ends what kest reads of a block: what follows it is not examined.
        return false;
    default:
        reporter_.report_error("KEST: Unknown demo format (isdemo: %i this_id: 0x%X prev_id: 0x%X sv_version: %i)!",
                               isdemo, unsigned{this_id}, unsigned{prev_id}, sv_version);
    }
    return true;
}

void DemoParser::decodeTempEntity(BlockCursor& cursor)
{
    const auto payload = tempEntityPayloadWidth(cursor.readByte());
    if (!payload)
        reporter_.report_error("Unknown entity!");
    cursor.skip(*payload);
}

void DemoParser::decodeSound(BlockCursor& cursor)
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

void DemoParser::decodePrint(BlockCursor& cursor)
{
    const std::uint8_t level = cursor.readByte();
    const std::string_view text = cursor.readString();
    // Levels above chat are no messages kest knows; as kinds they would pose as header lines.
    if (level <= static_cast<std::uint8_t>(RecordKind::Chat))
        list_->append(blockCount_, static_cast<RecordKind>(level), text);
}

void DemoParser::decodeServerData(BlockCursor& cursor)
{
    const std::int32_t protocol = cursor.readLong();
    cursor.readLong();  // server count
    const std::uint8_t attractLoop = cursor.readByte();
    cursor.readString();  // game directory
    cursor.skip(width::Short);  // player number
    const std::string_view levelName = cursor.readString();
    sv_version = protocol;
    isdemo = attractLoop;
    list_->append(blockCount_, RecordKind::MapName, levelName);
}

void DemoParser::decodeConfigString(BlockCursor& cursor)
{
    const std::uint16_t index = cursor.readShort();
    const std::string_view text = cursor.readString();
    if (index == MapModelConfigString)
        list_->append(blockCount_, RecordKind::MapFile, mapFileName(text));
}

void DemoParser::decodeDownload(BlockCursor& cursor)
{
    const std::uint16_t size = cursor.readShort();
    cursor.skip(width::Byte);  // percent
    if (sv_version >= FirstProtocolWithDownloadData)
        cursor.skip(size);
}

void DemoParser::decodePacketEntities(BlockCursor& cursor)
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
