#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::demo_writer {

using Bytes = std::vector<std::uint8_t>;

// A point as the demo stores it: three coordinates in eighths of a unit.
struct Position {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t z = 0;
};

// A sound command's fields; the flags byte says which of the optional ones follow.
struct Sound {
    std::uint16_t index = 0;  // a byte but in a multi-view recording with extended limits
    std::optional<std::uint8_t> volume;
    std::optional<std::uint8_t> attenuation;
    std::optional<std::uint8_t> timeOffset;
    std::optional<std::uint16_t> entityWord;  // entity number * 8 + channel
    std::optional<Position> position;
};

// The fields of one entity that a spawn baseline or a packet-entities delta
// carries; only the ones given are written. Frame, skin, effects and render
// effects take the narrowest width that holds their value.
struct EntityState {
    std::uint16_t number = 0;  // a short on the wire when above 255
    std::optional<std::uint8_t> model;
    std::optional<std::uint8_t> model2;
    std::optional<std::uint8_t> model3;
    std::optional<std::uint8_t> model4;
    std::optional<std::uint16_t> frame;
    std::optional<std::uint32_t> skin;
    std::optional<std::uint32_t> effects;
    std::optional<std::uint32_t> renderEffects;
    std::optional<std::int16_t> originX;
    std::optional<std::int16_t> originY;
    std::optional<std::int16_t> originZ;
    std::optional<std::uint8_t> angleX;
    std::optional<std::uint8_t> angleY;
    std::optional<std::uint8_t> angleZ;
    std::optional<Position> oldOrigin;
    std::optional<std::uint8_t> sound;
    std::optional<std::uint8_t> event;
    std::optional<std::uint16_t> solid;
    bool remove = false;  // the entity leaves the frame; a header bit without a field
};

// The weapon's frame and the gun model's offset and angles, sent together.
struct WeaponView {
    std::uint8_t frame = 0;
    std::array<std::int8_t, 3> offset{};
    std::array<std::int8_t, 3> angles{};
};

// The fields of a player-info delta; only the ones given are written.
struct PlayerState {
    std::optional<std::uint8_t> movementType;
    std::optional<Position> origin;
    std::optional<Position> velocity;
    std::optional<std::uint8_t> movementTime;
    std::optional<std::uint8_t> movementFlags;
    std::optional<std::int16_t> gravity;
    std::optional<std::array<std::uint16_t, 3>> deltaAngles;  // angle16 each
    std::optional<std::array<std::int8_t, 3>> viewOffset;
    std::optional<std::array<std::uint16_t, 3>> viewAngles;  // angle16 each
    std::optional<std::array<std::int8_t, 3>> kickAngles;
    std::optional<std::uint8_t> weaponIndex;
    std::optional<WeaponView> weapon;
    std::optional<std::array<std::uint8_t, 4>> blend;
    std::optional<std::uint8_t> fieldOfView;
    std::optional<std::uint8_t> renderFlags;
    std::map<std::uint8_t, std::int16_t> stats;  // statistic number (0 to 31) to value
};

// The server data that starts a level of a multi-view recording.
struct MultiViewServerData {
    std::uint16_t minorVersion = 2010;
    // The stream's flags: a short of their own from minor version 2012, before that the
    // command code's extra bits. 4 turns the extended limits on from 2011.
    std::uint16_t flags = 0;
    std::int16_t ownClient = -1;  // the recording's own client; -1 for none
    std::map<std::uint16_t, std::string> configStrings;  // index to text, written in index order
    std::int32_t serverCount = 1;  // which level of the server's run this is
};

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
    MessageWriter& position(const Position& point);
    MessageWriter& raw(const Bytes& bytes);

    // Commands with their code and payload.
    MessageWriter& muzzleFlash(std::uint16_t entity, std::uint8_t flash);
    MessageWriter& monsterMuzzleFlash(std::uint16_t entity, std::uint8_t flash);
    // Temporary entities, one helper per payload layout; the type byte is
    // written as given, so a type from another layout's list gives a
    // payload that does not match it.
    // Types 0, 1, 2, 4, 9, 12, 13, 14, 27: an impact at a point, facing a direction.
    MessageWriter& impactTempEntity(std::uint8_t type, const Position& at, std::uint8_t direction);
    // Types 3, 11, 23, 26: a trail from one point to another.
    MessageWriter& trailTempEntity(std::uint8_t type, const Position& start, const Position& end);
    // Types 5, 6, 7, 8, 17, 18, 20, 21, 22, 28: an explosion or effect at a point.
    MessageWriter& pointTempEntity(std::uint8_t type, const Position& at);
    // Types 10, 15, 25, 29: a splash of `count` particles of one colour.
    MessageWriter& splashTempEntity(std::uint8_t type, std::uint8_t count, const Position& at, std::uint8_t direction,
                                    std::uint8_t colour);
    // Types 16, 19: a beam from an entity.
    MessageWriter& beamTempEntity(std::uint8_t type, std::uint16_t entity, const Position& start,
                                  const Position& end);
    // Type 24: a beam from an entity, drawn from an offset.
    MessageWriter& offsetBeamTempEntity(std::uint8_t type, std::uint16_t entity, const Position& start,
                                        const Position& end, const Position& offset);
    MessageWriter& layout(std::string_view text);
    MessageWriter& inventory(const std::vector<std::uint16_t>& counts);  // 256 counts, missing ones 0
    MessageWriter& nop();
    MessageWriter& disconnect();
    MessageWriter& reconnect();
    // The flags byte is made from the optional fields present.
    MessageWriter& sound(const Sound& sound);
    MessageWriter& print(std::uint8_t level, std::string_view text);
    MessageWriter& stuffText(std::string_view text);
    MessageWriter& serverData(std::int32_t protocol, std::int32_t serverCount, std::uint8_t attractLoop,
                              std::string_view gameDirectory, std::uint16_t playerNumber, std::string_view levelName);
    MessageWriter& configString(std::uint16_t index, std::string_view text);
    MessageWriter& spawnBaseline(const EntityState& entity);
    MessageWriter& centerPrint(std::string_view text);
    MessageWriter& download(std::uint16_t size, std::uint8_t percent, const Bytes& data);
    // The mask is made from the fields present.
    MessageWriter& playerInfo(const PlayerState& player);
    // The entities' deltas, then the entity number 0 that ends the list.
    MessageWriter& packetEntities(const std::vector<EntityState>& entities);
    MessageWriter& deltaPacketEntities();
    // The frame command's code; what follows it in the block is never read.
    MessageWriter& frame();
    // The frame command with the header a server writes: its frame number,
    // the frame it is a delta from (-1 for none), the suppressed-packet
    // count and the bits of the areas the player can see.
    MessageWriter& frame(std::int32_t serverFrame, std::int32_t deltaFrame, std::uint8_t suppressCount,
                         const Bytes& areaBits);
    // A command code and whatever payload bytes a test wants behind it.
    MessageWriter& command(std::uint8_t code, const Bytes& payload = {});

    // The commands of a multi-view recording.
    MessageWriter& multiViewNop();
    // The server data with its config strings, then the baseline frame of an empty level.
    MessageWriter& multiViewServerData(const MultiViewServerData& serverData);
    MessageWriter& multiViewConfigString(std::uint16_t index, std::string_view text);
    // A frame with no players and no entities.
    MessageWriter& multiViewFrame();
    // Game commands sent to one client; a length above 255 goes into the code's extra bits.
    MessageWriter& unicast(std::uint8_t client, const MessageWriter& commands, bool reliable = false);
    // Game commands sent to many, by the multicast's command code (10 to 15); those to a
    // hearable or visible set name the leaf it is seen from.
    MessageWriter& multicast(std::uint8_t kind, std::uint16_t leaf, const MessageWriter& commands);
    // The flags byte is made from the optional fields present; the entity word is always
    // there, the position never. An index above 255 is a short, as extended limits allow.
    MessageWriter& multiViewSound(const Sound& sound);
    MessageWriter& multiViewPrint(std::uint8_t level, std::string_view text);

    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    // One entity delta without a command code: header bits (one to four
    // bytes, made from the fields present), entity number, fields.
    MessageWriter& entityDelta(const EntityState& entity);

    Bytes bytes_;
};

// A demo file: blocks, each a length and a message, then the end marker. A
// player's demo has lengths of 32 bits and -1 for the end; a multi-view
// recording starts with its magic and has lengths of 16 bits and 0 for the end.
class DemoWriter {
public:
    enum class Format { Player, MultiView };

    explicit DemoWriter(Format format = Format::Player);

    DemoWriter& block(const MessageWriter& message);
    DemoWriter& block(const Bytes& message);
    // A block whose length field says `length`, whatever the bytes behind it hold.
    DemoWriter& blockWithLength(std::int32_t length, const Bytes& message);
    DemoWriter& endMarker();
    DemoWriter& raw(const Bytes& bytes);

    const Bytes& bytes() const { return bytes_; }
    // Hands over the bytes written so far and goes on from none, so that a recording can
    // leave a block at a time: the magic goes with the first.
    Bytes take();

private:
    Format format_;
    Bytes bytes_;
};

// A demo of these blocks, one message each, closed by the end marker.
Bytes demoOf(const std::vector<MessageWriter>& blocks, DemoWriter::Format format = DemoWriter::Format::Player);

// Writes the bytes to a file; false on failure.
bool writeFile(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace kest::demo_writer
