#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest::demo_writer {

using Bytes = std::vector<std::uint8_t>;

// The bytes of one block's message: primitives in the demo's byte order, and
// the server commands built from them.
class MessageWriter {
public:
    // Primitives: little-endian, strings zero-terminated.
    MessageWriter& byte(std::uint8_t value);
    MessageWriter& shortValue(std::uint16_t value);
    MessageWriter& longValue(std::int32_t value);
    MessageWriter& string(std::string_view text);
    MessageWriter& position(std::int16_t x, std::int16_t y, std::int16_t z);
    MessageWriter& raw(const Bytes& bytes);
    MessageWriter& filler(std::size_t count, std::uint8_t value = 0x55);

    // Commands with their code and payload.
    MessageWriter& muzzleFlash(std::uint16_t entity, std::uint8_t flash);
    MessageWriter& monsterMuzzleFlash(std::uint16_t entity, std::uint8_t flash);
    MessageWriter& layout(std::string_view text);
    MessageWriter& inventory(const std::vector<std::uint16_t>& counts);  // 256 counts, missing ones 0
    MessageWriter& nop();
    MessageWriter& disconnect();
    MessageWriter& reconnect();
    MessageWriter& print(std::uint8_t level, std::string_view text);
    MessageWriter& stuffText(std::string_view text);
    MessageWriter& serverData(std::int32_t protocol, std::int32_t serverCount, std::uint8_t attractLoop,
                              std::string_view gameDirectory, std::uint16_t playerNumber, std::string_view levelName);
    MessageWriter& configString(std::uint16_t index, std::string_view text);
    MessageWriter& centerPrint(std::string_view text);
    MessageWriter& download(std::uint16_t size, std::uint8_t percent, const Bytes& data);
    MessageWriter& deltaPacketEntities();
    // The frame command's code; what follows it in the block is never read.
    MessageWriter& frame();
    // A command code and whatever payload bytes a test wants behind it.
    MessageWriter& command(std::uint8_t code, const Bytes& payload = {});

    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

// A demo file: blocks, each a length and a message, then the end marker.
class DemoWriter {
public:
    DemoWriter& block(const MessageWriter& message);
    DemoWriter& block(const Bytes& message);
    // A block whose length field says `length`, whatever the bytes behind it hold.
    DemoWriter& blockWithLength(std::int32_t length, const Bytes& message);
    DemoWriter& endMarker();
    DemoWriter& raw(const Bytes& bytes);

    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

// Writes the bytes to a file; false on failure.
bool writeFile(const std::string& path, const Bytes& bytes);

}  // namespace kest::demo_writer
