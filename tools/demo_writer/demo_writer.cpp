#include "demo_writer/demo_writer.h"

#include <cassert>
#include <fstream>
#include <utility>

#include "demo/server_command.h"

namespace kest::demo_writer {
namespace {

using Command = ServerCommand;

constexpr std::uint8_t code(Command command)
{
    return static_cast<std::uint8_t>(command);
}

constexpr std::uint8_t code(MultiViewCommand command, unsigned extraBits = 0)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(command) | extraBits << MultiViewCommandBits);
}

constexpr std::int32_t MultiViewProtocol = 37;
constexpr std::uint8_t SoundIndexIsShort = 0x20;

// The sound command's flag bits, by the field they announce.
namespace sound_flag {
constexpr std::uint8_t Volume = 0x01;
constexpr std::uint8_t Attenuation = 0x02;
constexpr std::uint8_t Origin = 0x04;
constexpr std::uint8_t Entity = 0x08;
constexpr std::uint8_t TimeOffset = 0x10;
}  // namespace sound_flag

// An entity delta's header bits, by the field they announce.
namespace entity_bit {
constexpr std::uint32_t OriginX = 0x1;
constexpr std::uint32_t OriginY = 0x2;
constexpr std::uint32_t AngleY = 0x4;
constexpr std::uint32_t AngleZ = 0x8;
constexpr std::uint32_t Frame8 = 0x10;
constexpr std::uint32_t Event = 0x20;
constexpr std::uint32_t Remove = 0x40;
constexpr std::uint32_t MoreBits8 = 0x80;
constexpr std::uint32_t Number16 = 0x100;
constexpr std::uint32_t OriginZ = 0x200;
constexpr std::uint32_t AngleX = 0x400;
constexpr std::uint32_t Model = 0x800;
constexpr std::uint32_t RenderEffects8 = 0x1000;
constexpr std::uint32_t Effects8 = 0x4000;
constexpr std::uint32_t MoreBits16 = 0x8000;
constexpr std::uint32_t Skin8 = 0x10000;
constexpr std::uint32_t Frame16 = 0x20000;
constexpr std::uint32_t RenderEffects16 = 0x40000;
constexpr std::uint32_t Effects16 = 0x80000;
constexpr std::uint32_t Model2 = 0x100000;
constexpr std::uint32_t Model3 = 0x200000;
constexpr std::uint32_t Model4 = 0x400000;
constexpr std::uint32_t MoreBits24 = 0x800000;
constexpr std::uint32_t OldOrigin = 0x1000000;
constexpr std::uint32_t Skin16 = 0x2000000;
constexpr std::uint32_t EntitySound = 0x4000000;
constexpr std::uint32_t Solid = 0x8000000;
}  // namespace entity_bit

// A player-info mask's bits, by the field they announce.
namespace player_bit {
constexpr std::uint16_t MovementType = 0x1;
constexpr std::uint16_t Origin = 0x2;
constexpr std::uint16_t Velocity = 0x4;
constexpr std::uint16_t MovementTime = 0x8;
constexpr std::uint16_t MovementFlags = 0x10;
constexpr std::uint16_t Gravity = 0x20;
constexpr std::uint16_t DeltaAngles = 0x40;
constexpr std::uint16_t ViewOffset = 0x80;
constexpr std::uint16_t ViewAngles = 0x100;
constexpr std::uint16_t KickAngles = 0x200;
constexpr std::uint16_t Blend = 0x400;
constexpr std::uint16_t FieldOfView = 0x800;
constexpr std::uint16_t WeaponIndex = 0x1000;
constexpr std::uint16_t WeaponFrame = 0x2000;
constexpr std::uint16_t RenderFlags = 0x4000;
}  // namespace player_bit

void appendLong(Bytes& bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
}

// Adds `bit` to `bits` when the field is given, and says whether it is.
template <typename Field, typename Bits>
bool announce(const std::optional<Field>& field, Bits bit, Bits& bits)
{
    if (field)
        bits = static_cast<Bits>(bits | bit);
    return field.has_value();
}

// Skin, effects and render effects: a byte or a short under one bit each, a long under both.
void writeScaled(MessageWriter& fields, std::uint32_t& bits, const std::optional<std::uint32_t>& value,
                 std::uint32_t byteBit, std::uint32_t shortBit)
{
    if (!value)
        return;
    if (*value <= 0xFF) {
        bits |= byteBit;
        fields.byte(static_cast<std::uint8_t>(*value));
    } else if (*value <= 0xFFFF) {
        bits |= shortBit;
        fields.shortValue(static_cast<std::uint16_t>(*value));
    } else {
        bits |= byteBit | shortBit;
        fields.longValue(static_cast<std::int32_t>(*value));
    }
}

void writeAngles16(MessageWriter& fields, const std::array<std::uint16_t, 3>& angles)
{
    for (const std::uint16_t angle : angles)
        fields.shortValue(angle);
}

void writeSignedBytes(MessageWriter& fields, const std::array<std::int8_t, 3>& values)
{
    for (const std::int8_t value : values)
        fields.byte(static_cast<std::uint8_t>(value));
}

}  // namespace

MessageWriter& MessageWriter::byte(std::uint8_t value)
{
    bytes_.push_back(value);
    return *this;
}

MessageWriter& MessageWriter::shortValue(std::uint16_t value)
{
    return byte(static_cast<std::uint8_t>(value)).byte(static_cast<std::uint8_t>(value >> 8));
}

MessageWriter& MessageWriter::longValue(std::int32_t value)
{
    appendLong(bytes_, value);
    return *this;
}

MessageWriter& MessageWriter::string(std::string_view text)
{
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return byte(0);
}

MessageWriter& MessageWriter::position(std::int16_t x, std::int16_t y, std::int16_t z)
{
    return shortValue(static_cast<std::uint16_t>(x))
        .shortValue(static_cast<std::uint16_t>(y))
        .shortValue(static_cast<std::uint16_t>(z));
}

MessageWriter& MessageWriter::position(const Position& point)
{
    return position(point.x, point.y, point.z);
}

MessageWriter& MessageWriter::raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

MessageWriter& MessageWriter::muzzleFlash(std::uint16_t entity, std::uint8_t flash)
{
    return byte(code(Command::MuzzleFlash)).shortValue(entity).byte(flash);
}

MessageWriter& MessageWriter::monsterMuzzleFlash(std::uint16_t entity, std::uint8_t flash)
{
    return byte(code(Command::MonsterMuzzleFlash)).shortValue(entity).byte(flash);
}

MessageWriter& MessageWriter::impactTempEntity(std::uint8_t type, const Position& at, std::uint8_t direction)
{
    return byte(code(Command::TempEntity)).byte(type).position(at).byte(direction);
}

MessageWriter& MessageWriter::trailTempEntity(std::uint8_t type, const Position& start, const Position& end)
{
    return byte(code(Command::TempEntity)).byte(type).position(start).position(end);
}

MessageWriter& MessageWriter::pointTempEntity(std::uint8_t type, const Position& at)
{
    return byte(code(Command::TempEntity)).byte(type).position(at);
}

MessageWriter& MessageWriter::splashTempEntity(std::uint8_t type, std::uint8_t count, const Position& at,
                                               std::uint8_t direction, std::uint8_t colour)
{
    return byte(code(Command::TempEntity)).byte(type).byte(count).position(at).byte(direction).byte(colour);
}

MessageWriter& MessageWriter::beamTempEntity(std::uint8_t type, std::uint16_t entity, const Position& start,
                                             const Position& end)
{
    return byte(code(Command::TempEntity)).byte(type).shortValue(entity).position(start).position(end);
}

MessageWriter& MessageWriter::offsetBeamTempEntity(std::uint8_t type, std::uint16_t entity, const Position& start,
                                                   const Position& end, const Position& offset)
{
    return beamTempEntity(type, entity, start, end).position(offset);
}

MessageWriter& MessageWriter::layout(std::string_view text)
{
    return byte(code(Command::Layout)).string(text);
}

MessageWriter& MessageWriter::inventory(const std::vector<std::uint16_t>& counts)
{
    byte(code(Command::Inventory));
    for (std::size_t item = 0; item < 256; ++item)
        shortValue(item < counts.size() ? counts[item] : 0);
    return *this;
}

MessageWriter& MessageWriter::nop()
{
    return byte(code(Command::Nop));
}

MessageWriter& MessageWriter::disconnect()
{
    return byte(code(Command::Disconnect));
}

MessageWriter& MessageWriter::reconnect()
{
    return byte(code(Command::Reconnect));
}

namespace {

// The sound's byte fields that its flags announce, in the order they follow the sound index.
void optionalSoundBytes(const Sound& sound, std::uint8_t& flags, MessageWriter& fields)
{
    using namespace sound_flag;
    if (announce(sound.volume, Volume, flags))
        fields.byte(*sound.volume);
    if (announce(sound.attenuation, Attenuation, flags))
        fields.byte(*sound.attenuation);
    if (announce(sound.timeOffset, TimeOffset, flags))
        fields.byte(*sound.timeOffset);
}

}  // namespace

MessageWriter& MessageWriter::sound(const Sound& sound)
{
    using namespace sound_flag;
    std::uint8_t flags = 0;
    MessageWriter fields;
    optionalSoundBytes(sound, flags, fields);
    if (announce(sound.entityWord, Entity, flags))
        fields.shortValue(*sound.entityWord);
    if (announce(sound.position, Origin, flags))
        fields.position(*sound.position);
    return byte(code(Command::Sound)).byte(flags).byte(static_cast<std::uint8_t>(sound.index)).raw(fields.bytes());
}

MessageWriter& MessageWriter::print(std::uint8_t level, std::string_view text)
{
    return byte(code(Command::Print)).byte(level).string(text);
}

MessageWriter& MessageWriter::stuffText(std::string_view text)
{
    return byte(code(Command::StuffText)).string(text);
}

MessageWriter& MessageWriter::serverData(std::int32_t protocol, std::int32_t serverCount, std::uint8_t attractLoop,
                                         std::string_view gameDirectory, std::uint16_t playerNumber,
                                         std::string_view levelName)
{
    return byte(code(Command::ServerData))
        .longValue(protocol)
        .longValue(serverCount)
        .byte(attractLoop)
        .string(gameDirectory)
        .shortValue(playerNumber)
        .string(levelName);
}

MessageWriter& MessageWriter::configString(std::uint16_t index, std::string_view text)
{
    return byte(code(Command::ConfigString)).shortValue(index).string(text);
}

MessageWriter& MessageWriter::spawnBaseline(const EntityState& entity)
{
    return byte(code(Command::SpawnBaseline)).entityDelta(entity);
}

MessageWriter& MessageWriter::centerPrint(std::string_view text)
{
    return byte(code(Command::CenterPrint)).string(text);
}

MessageWriter& MessageWriter::download(std::uint16_t size, std::uint8_t percent, const Bytes& data)
{
    return byte(code(Command::Download)).shortValue(size).byte(percent).raw(data);
}

MessageWriter& MessageWriter::playerInfo(const PlayerState& player)
{
    using namespace player_bit;
    std::uint16_t mask = 0;
    MessageWriter fields;
    // In the order they follow the mask: the weapon comes before blend and field of view.
    if (announce(player.movementType, MovementType, mask))
        fields.byte(*player.movementType);
    if (announce(player.origin, Origin, mask))
        fields.position(*player.origin);
    if (announce(player.velocity, Velocity, mask))
        fields.position(*player.velocity);
    if (announce(player.movementTime, MovementTime, mask))
        fields.byte(*player.movementTime);
    if (announce(player.movementFlags, MovementFlags, mask))
        fields.byte(*player.movementFlags);
    if (announce(player.gravity, Gravity, mask))
        fields.shortValue(static_cast<std::uint16_t>(*player.gravity));
    if (announce(player.deltaAngles, DeltaAngles, mask))
        writeAngles16(fields, *player.deltaAngles);
    if (announce(player.viewOffset, ViewOffset, mask))
        writeSignedBytes(fields, *player.viewOffset);
    if (announce(player.viewAngles, ViewAngles, mask))
        writeAngles16(fields, *player.viewAngles);
    if (announce(player.kickAngles, KickAngles, mask))
        writeSignedBytes(fields, *player.kickAngles);
    if (announce(player.weaponIndex, WeaponIndex, mask))
        fields.byte(*player.weaponIndex);
    if (announce(player.weapon, WeaponFrame, mask)) {
        fields.byte(player.weapon->frame);
        writeSignedBytes(fields, player.weapon->offset);
        writeSignedBytes(fields, player.weapon->angles);
    }
    if (announce(player.blend, Blend, mask))
        fields.raw(Bytes(player.blend->begin(), player.blend->end()));
    if (announce(player.fieldOfView, FieldOfView, mask))
        fields.byte(*player.fieldOfView);
    if (announce(player.renderFlags, RenderFlags, mask))
        fields.byte(*player.renderFlags);

    // The statistics' bits, then one short per set bit from bit 0 up: the map keeps them in that order.
    std::uint32_t statBits = 0;
    MessageWriter statValues;
    for (const auto& [stat, value] : player.stats) {
        assert(stat < 32);
        statBits |= std::uint32_t{1} << stat;
        statValues.shortValue(static_cast<std::uint16_t>(value));
    }
    return byte(code(Command::PlayerInfo))
        .shortValue(mask)
        .raw(fields.bytes())
        .longValue(static_cast<std::int32_t>(statBits))
        .raw(statValues.bytes());
}

MessageWriter& MessageWriter::packetEntities(const std::vector<EntityState>& entities)
{
    byte(code(Command::PacketEntities));
    for (const EntityState& entity : entities)
        entityDelta(entity);
    return byte(0).byte(0);  // no header bits, entity number 0
}

MessageWriter& MessageWriter::deltaPacketEntities()
{
    return byte(code(Command::DeltaPacketEntities));
}

MessageWriter& MessageWriter::frame()
{
    return byte(code(Command::Frame));
}

MessageWriter& MessageWriter::frame(std::int32_t serverFrame, std::int32_t deltaFrame, std::uint8_t suppressCount,
                                    const Bytes& areaBits)
{
    return frame()
        .longValue(serverFrame)
        .longValue(deltaFrame)
        .byte(suppressCount)
        .byte(static_cast<std::uint8_t>(areaBits.size()))
        .raw(areaBits);
}

MessageWriter& MessageWriter::entityDelta(const EntityState& entity)
{
    using namespace entity_bit;
    std::uint32_t bits = 0;
    MessageWriter fields;
    // In the order they follow the entity number.
    if (announce(entity.model, Model, bits))
        fields.byte(*entity.model);
    if (announce(entity.model2, Model2, bits))
        fields.byte(*entity.model2);
    if (announce(entity.model3, Model3, bits))
        fields.byte(*entity.model3);
    if (announce(entity.model4, Model4, bits))
        fields.byte(*entity.model4);
    if (entity.frame) {
        if (*entity.frame <= 0xFF) {
            bits |= Frame8;
            fields.byte(static_cast<std::uint8_t>(*entity.frame));
        } else {
            bits |= Frame16;
            fields.shortValue(*entity.frame);
        }
    }
    writeScaled(fields, bits, entity.skin, Skin8, Skin16);
    writeScaled(fields, bits, entity.effects, Effects8, Effects16);
    writeScaled(fields, bits, entity.renderEffects, RenderEffects8, RenderEffects16);
    if (announce(entity.originX, OriginX, bits))
        fields.shortValue(static_cast<std::uint16_t>(*entity.originX));
    if (announce(entity.originY, OriginY, bits))
        fields.shortValue(static_cast<std::uint16_t>(*entity.originY));
    if (announce(entity.originZ, OriginZ, bits))
        fields.shortValue(static_cast<std::uint16_t>(*entity.originZ));
    if (announce(entity.angleX, AngleX, bits))
        fields.byte(*entity.angleX);
    if (announce(entity.angleY, AngleY, bits))
        fields.byte(*entity.angleY);
    if (announce(entity.angleZ, AngleZ, bits))
        fields.byte(*entity.angleZ);
    if (announce(entity.oldOrigin, OldOrigin, bits))
        fields.position(*entity.oldOrigin);
    if (announce(entity.sound, EntitySound, bits))
        fields.byte(*entity.sound);
    if (announce(entity.event, Event, bits))
        fields.byte(*entity.event);
    if (announce(entity.solid, Solid, bits))
        fields.shortValue(*entity.solid);
    if (entity.remove)
        bits |= Remove;
    if (entity.number > 0xFF)
        bits |= Number16;

    // As many header bytes as the highest bit set needs, each but the last saying another follows.
    if (bits & 0xFF000000)
        bits |= MoreBits24 | MoreBits16 | MoreBits8;
    else if (bits & 0x00FF0000)
        bits |= MoreBits16 | MoreBits8;
    else if (bits & 0x0000FF00)
        bits |= MoreBits8;
    byte(static_cast<std::uint8_t>(bits));
    if (bits & MoreBits8)
        byte(static_cast<std::uint8_t>(bits >> 8));
    if (bits & MoreBits16)
        byte(static_cast<std::uint8_t>(bits >> 16));
    if (bits & MoreBits24)
        byte(static_cast<std::uint8_t>(bits >> 24));
    if (bits & Number16)
        shortValue(entity.number);
    else
        byte(static_cast<std::uint8_t>(entity.number));
    return raw(fields.bytes());
}

MessageWriter& MessageWriter::command(std::uint8_t code, const Bytes& payload)
{
    return byte(code).raw(payload);
}

MessageWriter& MessageWriter::multiViewNop()
{
    return byte(code(MultiViewCommand::Nop));
}

MessageWriter& MessageWriter::multiViewServerData(const MultiViewServerData& serverData)
{
    const bool flagsShort = serverData.minorVersion >= 2012;
    const bool extended = serverData.minorVersion >= 2011 && (serverData.flags & 4) != 0;
    byte(code(MultiViewCommand::ServerData, flagsShort ? 0 : serverData.flags));
    longValue(MultiViewProtocol).shortValue(serverData.minorVersion);
    if (flagsShort)
        shortValue(serverData.flags);
    longValue(serverData.serverCount).string("baseq2").shortValue(static_cast<std::uint16_t>(serverData.ownClient));
    for (const auto& [index, text] : serverData.configStrings)
        shortValue(index).string(text);
    shortValue(extended ? 13630 : 2080);
    return multiViewFrame();
}

MessageWriter& MessageWriter::multiViewConfigString(std::uint16_t index, std::string_view text)
{
    return byte(code(MultiViewCommand::ConfigString)).shortValue(index).string(text);
}

MessageWriter& MessageWriter::multiViewFrame()
{
    // No portal bits, the player that ends the players, the entity number 0 that ends the entities.
    return byte(code(MultiViewCommand::Frame)).byte(0).byte(255).byte(0).byte(0);
}

MessageWriter& MessageWriter::unicast(std::uint8_t client, const MessageWriter& commands, bool reliable)
{
    const std::size_t length = commands.size();
    assert(length < 8 * 256);
    const auto command = reliable ? MultiViewCommand::ReliableUnicast : MultiViewCommand::Unicast;
    return byte(code(command, static_cast<unsigned>(length >> 8)))
        .byte(static_cast<std::uint8_t>(length))
        .byte(client)
        .raw(commands.bytes());
}

MessageWriter& MessageWriter::multicast(std::uint8_t kind, std::uint16_t leaf, const MessageWriter& commands)
{
    const std::size_t length = commands.size();
    assert(length < 8 * 256 && kind >= 10 && kind <= 15);
    byte(static_cast<std::uint8_t>(kind | (length >> 8) << MultiViewCommandBits)).byte(static_cast<std::uint8_t>(length));
    // To all (10 and 13) goes to no leaf's set.
    if (kind != 10 && kind != 13)
        shortValue(leaf);
    return raw(commands.bytes());
}

MessageWriter& MessageWriter::multiViewSound(const Sound& sound)
{
    using namespace sound_flag;
    std::uint8_t flags = sound.index > 255 ? SoundIndexIsShort : 0;
    MessageWriter fields;
    if (sound.index > 255)
        fields.shortValue(sound.index);
    else
        fields.byte(static_cast<std::uint8_t>(sound.index));
    optionalSoundBytes(sound, flags, fields);
    fields.shortValue(sound.entityWord.value_or(0));
    return byte(code(MultiViewCommand::Sound)).byte(flags).raw(fields.bytes());
}

MessageWriter& MessageWriter::multiViewPrint(std::uint8_t level, std::string_view text)
{
    return byte(code(MultiViewCommand::Print)).byte(level).string(text);
}

DemoWriter::DemoWriter(Format format) : format_(format)
{
    if (format_ == Format::MultiView)
        bytes_ = {'M', 'V', 'D', '2'};
}

DemoWriter& DemoWriter::block(const MessageWriter& message)
{
    return block(message.bytes());
}

DemoWriter& DemoWriter::block(const Bytes& message)
{
    return blockWithLength(static_cast<std::int32_t>(message.size()), message);
}

DemoWriter& DemoWriter::blockWithLength(std::int32_t length, const Bytes& message)
{
    if (format_ == Format::MultiView) {
        bytes_.push_back(static_cast<std::uint8_t>(length));
        bytes_.push_back(static_cast<std::uint8_t>(length >> 8));
    } else {
        appendLong(bytes_, length);
    }
    return raw(message);
}

DemoWriter& DemoWriter::endMarker()
{
    if (format_ == Format::MultiView)
        return raw({0, 0});
    appendLong(bytes_, -1);
    return *this;
}

DemoWriter& DemoWriter::raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes DemoWriter::take()
{
    return std::exchange(bytes_, {});
}

Bytes demoOf(const std::vector<MessageWriter>& blocks, DemoWriter::Format format)
{
    DemoWriter writer(format);
    for (const MessageWriter& block : blocks)
        writer.block(block);
    return writer.endMarker().bytes();
}

bool writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace kest::demo_writer
