#include "demo_writer/demo_writer.h"

#include <fstream>

namespace kest::demo_writer {
namespace {

enum Code : std::uint8_t {
    MuzzleFlash = 1,
    MonsterMuzzleFlash = 2,
    Layout = 4,
    Inventory = 5,
    Nop = 6,
    Disconnect = 7,
    Reconnect = 8,
    Print = 10,
    StuffText = 11,
    ServerData = 12,
    ConfigString = 13,
    CenterPrint = 15,
    Download = 16,
    DeltaPacketEntities = 19,
    Frame = 20,
};

void appendLong(Bytes& bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
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

MessageWriter& MessageWriter::raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

MessageWriter& MessageWriter::filler(std::size_t count, std::uint8_t value)
{
    bytes_.insert(bytes_.end(), count, value);
    return *this;
}

MessageWriter& MessageWriter::muzzleFlash(std::uint16_t entity, std::uint8_t flash)
{
    return byte(MuzzleFlash).shortValue(entity).byte(flash);
}

MessageWriter& MessageWriter::monsterMuzzleFlash(std::uint16_t entity, std::uint8_t flash)
{
    return byte(MonsterMuzzleFlash).shortValue(entity).byte(flash);
}

MessageWriter& MessageWriter::layout(std::string_view text)
{
    return byte(Layout).string(text);
}

MessageWriter& MessageWriter::inventory(const std::vector<std::uint16_t>& counts)
{
    byte(Inventory);
    for (std::size_t item = 0; item < 256; ++item)
        shortValue(item < counts.size() ? counts[item] : 0);
    return *this;
}

MessageWriter& MessageWriter::nop()
{
    return byte(Nop);
}

MessageWriter& MessageWriter::disconnect()
{
    return byte(Disconnect);
}

MessageWriter& MessageWriter::reconnect()
{
    return byte(Reconnect);
}

MessageWriter& MessageWriter::print(std::uint8_t level, std::string_view text)
{
    return byte(Print).byte(level).string(text);
}

MessageWriter& MessageWriter::stuffText(std::string_view text)
{
    return byte(StuffText).string(text);
}

MessageWriter& MessageWriter::serverData(std::int32_t protocol, std::int32_t serverCount, std::uint8_t attractLoop,
                                         std::string_view gameDirectory, std::uint16_t playerNumber,
                                         std::string_view levelName)
{
    return byte(ServerData)
        .longValue(protocol)
        .longValue(serverCount)
        .byte(attractLoop)
        .string(gameDirectory)
        .shortValue(playerNumber)
        .string(levelName);
}

MessageWriter& MessageWriter::configString(std::uint16_t index, std::string_view text)
{
    return byte(ConfigString).shortValue(index).string(text);
}

MessageWriter& MessageWriter::centerPrint(std::string_view text)
{
    return byte(CenterPrint).string(text);
}

MessageWriter& MessageWriter::download(std::uint16_t size, std::uint8_t percent, const Bytes& data)
{
    return byte(Download).shortValue(size).byte(percent).raw(data);
}

MessageWriter& MessageWriter::deltaPacketEntities()
{
    return byte(DeltaPacketEntities);
}

MessageWriter& MessageWriter::frame()
{
    return byte(Frame);
}

MessageWriter& MessageWriter::command(std::uint8_t code, const Bytes& payload)
{
    return byte(code).raw(payload);
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
    appendLong(bytes_, length);
    return raw(message);
}

DemoWriter& DemoWriter::endMarker()
{
    appendLong(bytes_, -1);
    return *this;
}

DemoWriter& DemoWriter::raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace kest::demo_writer
