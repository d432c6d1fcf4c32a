// How many bytes each command's payload takes. Every case puts a command
// with a payload of exactly its width, then a print: the print's record shows
// the decoder stepped over exactly that payload. One byte fewer or one more
// must break that, so a payload read too narrow or too wide is caught.
// Beside them, the map file name that config string 33's text makes.
#include <gtest/gtest.h>

#include <bitset>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "demo_writer/demo_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// Widths of the format's values, written out here independently of the decoder.
constexpr std::size_t Byte = 1, Short = 2, Long = 4;
constexpr std::size_t Coordinate = 2, Position = 6, Direction = 1, Angle = 1, Angle16 = 2;

Bytes zeros(std::size_t count) { return Bytes(count, 0); }

Bytes littleEndian(std::uint32_t value, std::size_t width)
{
    Bytes bytes;
    for (std::size_t i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return bytes;
}

// The records of a demo with a command and its payload.
std::string afterCommand(std::uint8_t code, const Bytes& payload)
{
    return decoded(DemoWriter().block(MessageWriter().command(code, payload)).endMarker().bytes());
}

// An entity delta: the header bytes that `bits` needs (each further byte
// announced by the top bit of the one before), the number, then the fields.
Bytes entityDelta(std::uint32_t bits, std::uint16_t number, std::size_t fieldsWidth)
{
    const std::size_t headerWidth = (bits & 0xFF800000) ? 4 : (bits & 0xFFFF8000) ? 3 : (bits & 0xFFFFFF80) ? 2 : 1;
    const std::uint32_t chain[] = {0, 0x80, 0x8080, 0x808080};
    return littleEndian(bits | chain[headerWidth - 1], headerWidth) +
           littleEndian(number, (bits & 0x100) ? Short : Byte) + zeros(fieldsWidth);
}

// The mask, the fields it announces, the stat bits, one short per set stat bit.
Bytes playerState(std::uint16_t mask, std::size_t fieldsWidth, std::uint32_t statBits)
{
    return littleEndian(mask, Short) + zeros(fieldsWidth) + littleEndian(statBits, Long) +
           zeros(Short * std::bitset<32>(statBits).count());
}

struct Command {
    std::string name;
    std::uint8_t code;
    Bytes payload;
};

// Every command, every temporary entity type, sound field, entity field and player field.
std::vector<Command> everyPayload()
{
    std::vector<Command> commands = {
        {"muzzle flash", 1, zeros(Short + Byte)}, {"monster muzzle flash", 2, zeros(Short + Byte)},
        {"layout", 4, {'x', 'v', 0}}, {"inventory", 5, zeros(256 * Short)}, {"nop", 6, {}}, {"disconnect", 7, {}},
        {"reconnect", 8, {}}, {"print", 10, {0, 'x', '\n', 0}}, {"stuff text", 11, {'c', 'm', 'd', '\n', 0}},
        {"server data", 12, littleEndian(34, Long) + littleEndian(7, Long) + Bytes{1, 'b', 'q', 0, 3, 0, 'L', 0}},
        {"config string 32", 13, {32, 0, 'a', 0}}, {"config string 33", 13, {33, 0, 'm', '/', 'b', 0}},
        {"center print", 15, {'h', 'i', 0}}, {"download before any server data: no data", 16, {10, 0, 50}},
        {"packet entities, none", 18, {0x00, 0x00}}, {"delta packet entities", 19, {}},
        {"sound without flags", 9, {0x00, 7}}, {"sound volume", 9, {0x01, 7, 200}},
        {"sound attenuation", 9, {0x02, 7, 64}}, {"sound time offset", 9, {0x10, 7, 3}},
        {"sound position", 9, Bytes{0x04, 7} + zeros(Position)}, {"sound bits without a field", 9, {0xE0, 7}},
        {"sound entity", 9, Bytes{0x08, 7} + littleEndian(8 * 12 + 2, Short)},
        {"sound, every field", 9, Bytes{0xFF, 7, 200, 64, 3} + littleEndian(98, Short) + zeros(Position)},
        {"sound entity word 8199, the largest", 9, Bytes{0x08, 7} + littleEndian(8199, Short)},
        // A baseline of entity 0 still has its fields, but in a packet-entities list the
        // number 0 ends the list before any field.
        {"baseline of entity 0", 14, entityDelta(0x1 | 0x800, 0, Coordinate + Byte)},
        {"entity 0 ends the list", 18, entityDelta(0x1, 9, Coordinate) + entityDelta(0xFFFFFFFF, 0, 0)},
    };
    constexpr std::size_t PosDir = Position + Direction, TwoPos = 2 * Position;
    constexpr std::size_t Splash = Byte + Position + Direction + Byte;
    constexpr std::size_t Beam = Short + 2 * Position, Beam3 = Short + 3 * Position;
    constexpr std::size_t widths[30] = {
        PosDir,   PosDir,   PosDir,   TwoPos, PosDir, Position, Position, Position, Position, PosDir,
        Splash,   TwoPos,   PosDir,   PosDir, PosDir, Splash,   Beam,     Position, Position, Beam,
        Position, Position, Position, TwoPos, Beam3,  Splash,   TwoPos,   PosDir,   Position, Splash,
    };
    for (std::uint8_t type = 0; type < 30; ++type)
        commands.push_back({"temporary entity " + std::to_string(type), 3, Bytes{type} + zeros(widths[type])});
    const std::tuple<const char*, std::uint32_t, std::size_t> entityFields[] = {
        {"no field", 0, 0}, {"model", 0x800, Byte}, {"second model", 0x100000, Byte},
        {"third model", 0x200000, Byte}, {"fourth model", 0x400000, Byte},
        {"frame byte", 0x10, Byte}, {"frame short", 0x20000, Short}, {"both frames", 0x10 | 0x20000, Byte + Short},
        {"skin byte", 0x10000, Byte}, {"skin short", 0x2000000, Short}, {"skin long", 0x10000 | 0x2000000, Long},
        {"effects byte", 0x4000, Byte}, {"effects short", 0x80000, Short}, {"effects long", 0x4000 | 0x80000, Long},
        {"render effects byte", 0x1000, Byte}, {"render effects short", 0x40000, Short},
        {"render effects long", 0x1000 | 0x40000, Long},
        {"origin x", 0x1, Coordinate}, {"origin y", 0x2, Coordinate}, {"origin z", 0x200, Coordinate},
        {"angle x", 0x400, Angle}, {"angle y", 0x4, Angle}, {"angle z", 0x8, Angle},
        {"old origin", 0x1000000, Position}, {"sound", 0x4000000, Byte},
        {"event", 0x20, Byte}, {"solid", 0x8000000, Short},
        {"bits without a field", 0x40 | 0x2000 | 0xF0000000, 0},
        {"second header byte only", 0x80, 0}, {"third header byte only", 0x8000, 0},
        {"fourth header byte only", 0x800000, 0}, {"short number", 0x100, 0},
        {"every bit", 0xFFFFFFFF,
         4 * Byte + Byte + Short + 3 * Long + 3 * Coordinate + 3 * Angle + Position + 2 * Byte + Short},
    };
    for (const auto& [name, bits, width] : entityFields) {
        commands.push_back({std::string("baseline, ") + name, 14, entityDelta(bits, 1, width)});
        commands.push_back({std::string("packet entity, ") + name, 18, entityDelta(bits, 300, width) + Bytes{0, 0}});
    }
    const std::tuple<const char*, std::uint16_t, std::size_t> playerFields[] = {
        {"movement type", 0x1, Byte}, {"origin", 0x2, Position}, {"velocity", 0x4, Position},
        {"movement time", 0x8, Byte}, {"movement flags", 0x10, Byte}, {"gravity", 0x20, Short},
        {"delta angles", 0x40, 3 * Angle16}, {"view offset", 0x80, 3 * Byte}, {"view angles", 0x100, 3 * Angle16},
        {"kick angles", 0x200, 3 * Byte}, {"blend", 0x400, 4 * Byte}, {"field of view", 0x800, Byte},
        {"weapon index", 0x1000, Byte}, {"weapon frame and gun", 0x2000, 7 * Byte}, {"render flags", 0x4000, Byte},
        {"bit without a field", 0x8000, 0}, {"without fields or stats", 0, 0},
        {"every bit", 0xFFFF, Byte + 2 * Position + Byte + Byte + Short + 3 * Angle16 + 3 * Byte + 3 * Angle16 +
                                  3 * Byte + 4 * Byte + Byte + Byte + 7 * Byte + Byte},
    };
    for (const auto& [name, mask, width] : playerFields)
        commands.push_back({std::string("player, ") + name, 17, playerState(mask, width, 0)});
    for (const std::uint32_t bits : {0x1u, 0x80000000u, 0x55555555u, 0xFFFFFFFFu})
        commands.push_back({"stats " + std::to_string(bits), 17, playerState(0x2 | 0x2000, Position + 7 * Byte, bits)});
    return commands;
}

TEST(PayloadWidth, EveryCommandAndField)
{
    for (const Command& c : everyPayload()) {
        SCOPED_TRACE(c.name);
        expectExactPayload(c.payload, 0, [&c](const Bytes& payload) {
            return DemoWriter().block(MessageWriter().command(c.code, payload).print(2, "next\n")).endMarker().bytes();
        });
    }
}

// Payloads the decoder cannot step over end the demo, and only number 0 ends an entity list,
// not the block's end: with nothing after the block the command runs out of data; with a
// block of length 6 behind it, the list reads 06 as header bits and 00 as number 0, and that
// next block is still read from its own start.
TEST(PayloadWidth, PayloadsThatEndTheDemo)
{
    for (const std::uint8_t type : {30, 31, 128, 255})
        EXPECT_EQ(afterCommand(3, Bytes{type} + zeros(40)), "Unknown entity!") << "type " << int{type};
    for (const std::uint16_t word : {8200, 8208, 0xFFFF})
        EXPECT_EQ(afterCommand(9, Bytes{0x08, 7} + littleEndian(word, Short)), "Too many entities!") << word;
    const Bytes entities = {18, 0x00, 0x01};
    EXPECT_EQ(decoded(DemoWriter().block(entities).bytes()), "damaged at 4");
    const MessageWriter sixBytes = MessageWriter().nop().print(2, "bc");
    ASSERT_EQ(sixBytes.size(), 6u);
    EXPECT_EQ(decoded(DemoWriter().block(entities).block(sixBytes).endMarker().bytes()), "2 2 bc|read to its end");
}

// Config string 33 is the path of the map's model; the map file is the name after its last
// '/', with only the ASCII letters a to z upper-cased.
TEST(ConfigString33, MapFileIsTheNameAfterTheLastSlashUpperCased)
{
    const std::pair<const char*, const char*> cases[] = {  // the model's path, the map file
        {"maps/base1.bsp", "BASE1.BSP"}, {"maps/ctf/zoo.bsp", "ZOO.BSP"}, {"/abs/maps/q2dm8.bsp", "Q2DM8.BSP"},
        {"q2dm1.bsp", "Q2DM1.BSP"}, {"maps/", ""}, {"/", ""}, {"", ""}, {"maps\\zoo.bsp", "MAPS\\ZOO.BSP"},
        {"m/abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {"m/`{@[azAZ09_-.~\x01\x7F", "`{@[AZAZ09_-.~\x01\x7F"},
        {"m/\x80\xE0\xE9\xFA\xFF\xC3\xA9", "\x80\xE0\xE9\xFA\xFF\xC3\xA9"},
    };
    for (const auto& [modelPath, mapFile] : cases) {
        EXPECT_EQ(decoded(DemoWriter().block(MessageWriter().configString(33, modelPath)).endMarker().bytes()),
                  std::string("1 4 ") + mapFile + "|read to its end")
            << modelPath;
    }
}

}  // namespace
}  // namespace kest
