// How many bytes each command's payload takes. Every case puts a command
// with a payload of exactly its width, then a print: the print's record shows
// the decoder stepped over exactly that payload. One byte fewer or one more
// must break that, so a payload read too narrow or too wide is caught.
#include <gtest/gtest.h>

#include <bitset>

#include "demo_support.h"

namespace kest::test {
namespace {

// Widths of the format's values, written out here independently of the decoder.
constexpr std::size_t Byte = 1, Short = 2, Long = 4;
constexpr std::size_t Coordinate = 2, Position = 6, Direction = 1, Angle = 1, Angle16 = 2;

const Record Next = {1, 2, "next\n"};

bool printFollows(const MessageWriter& before, std::uint8_t code, const Bytes& payload)
{
    MessageWriter message = before;
    message.command(code, payload).print(2, "next\n");
    const Outcome outcome = parseBlock(message);
    return !outcome.fatal && !outcome.damage && !outcome.records.empty() && outcome.records.back() == Next;
}

void expectWidth(std::uint8_t code, const Bytes& payload, const MessageWriter& before = {})
{
    EXPECT_TRUE(printFollows(before, code, payload)) << "exact payload of " << payload.size() << " bytes";
    if (!payload.empty()) {
        EXPECT_FALSE(printFollows(before, code, Bytes(payload.begin(), payload.end() - 1))) << "one byte fewer";
    }
    // 0x55 is no command: a decoder that stops at the right place fails on it.
    EXPECT_FALSE(printFollows(before, code, payload + Bytes{0x55})) << "one byte more";
}

Bytes longBytes(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

TEST(PayloadWidth, PlainCommands)
{
    const struct {
        const char* name;
        std::uint8_t code;
        Bytes payload;
    } cases[] = {
        {"muzzle flash", 1, zeros(Short + Byte)},
        {"monster muzzle flash", 2, zeros(Short + Byte)},
        {"layout", 4, {'x', 'v', 0}},
        {"layout, empty", 4, {0}},
        {"inventory", 5, zeros(256 * Short)},
        {"nop", 6, {}},
        {"disconnect", 7, {}},
        {"reconnect", 8, {}},
        {"print", 10, {0, 'x', '\n', 0}},
        {"stuff text", 11, {'c', 'm', 'd', '\n', 0}},
        {"server data", 12, longBytes(34) + longBytes(7) + Bytes{1, 'b', 'q', 0} + shortBytes(3) + Bytes{'L', 0}},
        {"config string 32", 13, shortBytes(32) + Bytes{'a', 0}},
        {"config string 33", 13, shortBytes(33) + Bytes{'m', '/', 'b', 0}},
        {"center print", 15, {'h', 'i', 0}},
        {"download before any server data: no data", 16, shortBytes(10) + Bytes{50}},
        {"delta packet entities", 19, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectWidth(c.code, c.payload);
    }
}

// Bytes after the type byte, by type, from the temporary-entity layouts.
constexpr std::size_t PosDir = Position + Direction;
constexpr std::size_t TwoPos = 2 * Position;
constexpr std::size_t Splash = Byte + Position + Direction + Byte;
constexpr std::size_t Beam = Short + 2 * Position;
constexpr std::size_t Beam3 = Short + 3 * Position;
constexpr std::size_t TempEntityWidths[30] = {
    PosDir,   PosDir, PosDir,   TwoPos,   PosDir, Position, Position, Position, Position, PosDir,
    Splash,   TwoPos, PosDir,   PosDir,   PosDir, Splash,   Beam,     Position, Position, Beam,
    Position, Position, Position, TwoPos, Beam3,  Splash,   TwoPos,   PosDir,   Position, Splash,
};

TEST(PayloadWidth, EveryTemporaryEntityType)
{
    for (std::uint8_t type = 0; type < 30; ++type) {
        SCOPED_TRACE("type " + std::to_string(type));
        expectWidth(3, Bytes{type} + zeros(TempEntityWidths[type]));
    }
}

TEST(PayloadWidth, TemporaryEntityTypesFrom30AreUnknown)
{
    for (int type = 30; type <= 255; ++type) {
        SCOPED_TRACE("type " + std::to_string(type));
        MessageWriter message;
        message.command(3, Bytes{static_cast<std::uint8_t>(type)} + zeros(40));
        EXPECT_EQ(parseBlock(message).fatal, "Unknown entity!");
    }
}

TEST(PayloadWidth, SoundFields)
{
    const struct {
        const char* name;
        Bytes payload;
    } cases[] = {
        {"no flags", {0x00, 7}},
        {"volume", {0x01, 7, 200}},
        {"attenuation", {0x02, 7, 64}},
        {"time offset", {0x10, 7, 3}},
        {"entity", Bytes{0x08, 7} + shortBytes(8 * 12 + 2)},
        {"position", Bytes{0x04, 7} + zeros(Position)},
        {"bits without a field", {0xE0, 7}},
        {"every field", Bytes{0xFF, 7, 200, 64, 3} + shortBytes(8 * 12 + 2) + zeros(Position)},
        {"entity word 8199", Bytes{0x08, 7} + shortBytes(8199)},
        {"entity word 8192", Bytes{0x08, 7} + shortBytes(8192)},
        {"large word without the entity flag", Bytes{0x04, 7} + Bytes{0xFF, 0xFF} + zeros(Position - 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectWidth(9, c.payload);
    }
}

TEST(PayloadWidth, SoundEntityWordFrom8200IsTooMany)
{
    for (const std::uint16_t word : {8200, 8207, 8208, 0xFFFF}) {
        SCOPED_TRACE(word);
        MessageWriter message;
        message.command(9, Bytes{0x0F, 7, 200, 64} + shortBytes(word) + zeros(Position));
        EXPECT_EQ(parseBlock(message).fatal, "Too many entities!");
    }
}

// An entity delta: the header bytes that `bits` needs (each further byte
// announced by the top bit of the one before), the number, then the fields.
Bytes entityDelta(std::uint32_t bits, std::uint16_t number, std::size_t fieldsWidth)
{
    if (bits & 0xFF000000)
        bits |= 0x800000;
    if (bits & 0xFFFF0000)
        bits |= 0x8000;
    if (bits & 0xFFFFFF00)
        bits |= 0x80;
    Bytes bytes = {static_cast<std::uint8_t>(bits)};
    if (bits & 0x80)
        bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    if (bits & 0x8000)
        bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
    if (bits & 0x800000)
        bytes.push_back(static_cast<std::uint8_t>(bits >> 24));
    bytes = bytes + ((bits & 0x100) ? shortBytes(number) : Bytes{static_cast<std::uint8_t>(number)});
    return bytes + zeros(fieldsWidth);
}

struct EntityCase {
    const char* name;
    std::uint32_t bits;
    std::size_t fieldsWidth;
};

const EntityCase EntityCases[] = {
    {"no field", 0, 0},
    {"model", 0x800, Byte},
    {"second model", 0x100000, Byte},
    {"third model", 0x200000, Byte},
    {"fourth model", 0x400000, Byte},
    {"frame byte", 0x10, Byte},
    {"frame short", 0x20000, Short},
    {"both frames", 0x10 | 0x20000, Byte + Short},
    {"skin byte", 0x10000, Byte},
    {"skin short", 0x2000000, Short},
    {"skin long", 0x10000 | 0x2000000, Long},
    {"effects byte", 0x4000, Byte},
    {"effects short", 0x80000, Short},
    {"effects long", 0x4000 | 0x80000, Long},
    {"render effects byte", 0x1000, Byte},
    {"render effects short", 0x40000, Short},
    {"render effects long", 0x1000 | 0x40000, Long},
    {"origin x", 0x1, Coordinate},
    {"origin y", 0x2, Coordinate},
    {"origin z", 0x200, Coordinate},
    {"angle x", 0x400, Angle},
    {"angle y", 0x4, Angle},
    {"angle z", 0x8, Angle},
    {"old origin", 0x1000000, Position},
    {"sound", 0x4000000, Byte},
    {"event", 0x20, Byte},
    {"solid", 0x8000000, Short},
    {"bits without a field", 0x40 | 0x2000 | 0xF0000000, 0},
    {"second header byte only", 0x80, 0},
    {"third header byte only", 0x8000, 0},
    {"fourth header byte only", 0x800000, 0},
    {"short number", 0x100, 0},
    {"every bit", 0xFFFFFFFF, 4 * Byte + Byte + Short + 3 * Long + 3 * Coordinate + 3 * Angle + Position + 2 * Byte + Short},
};

TEST(PayloadWidth, SpawnBaselineFields)
{
    for (const EntityCase& c : EntityCases) {
        SCOPED_TRACE(c.name);
        expectWidth(14, entityDelta(c.bits, 1, c.fieldsWidth));
    }
}

TEST(PayloadWidth, SpawnBaselineOfEntityZeroStillReadsItsFields)
{
    expectWidth(14, entityDelta(0x1 | 0x800, 0, Coordinate + Byte));
}

TEST(PayloadWidth, PacketEntitiesRunUntilEntityZero)
{
    Bytes all;
    for (const EntityCase& c : EntityCases) {
        SCOPED_TRACE(c.name);
        expectWidth(18, entityDelta(c.bits, 300, c.fieldsWidth) + Bytes{0x00, 0x00});
        all = all + entityDelta(c.bits, 5, c.fieldsWidth);
    }
    SCOPED_TRACE("all of them in one command");
    expectWidth(18, all + Bytes{0x00, 0x00});
}

TEST(PayloadWidth, PacketEntitiesEndAtEntityZeroWithoutItsFields)
{
    expectWidth(18, {0x00, 0x00});
    // Header bits that announce fields, but the number 0 ends the command first.
    expectWidth(18, {0x01 | 0x10, 0x00});
    expectWidth(18, entityDelta(0x100 | 0x800, 0, 0));
    expectWidth(18, entityDelta(0x1, 9, Coordinate) + entityDelta(0xFFFFFFFF, 0, 0));
}

// mask, the fields it announces, the stat bits, one short per set stat bit.
Bytes playerState(std::uint16_t mask, std::size_t fieldsWidth, std::uint32_t statBits)
{
    return shortBytes(mask) + zeros(fieldsWidth) + longBytes(statBits) +
           zeros(Short * std::bitset<32>(statBits).count());
}

TEST(PayloadWidth, PlayerInfoFields)
{
    const struct {
        const char* name;
        std::uint16_t mask;
        std::size_t fieldsWidth;
    } cases[] = {
        {"nothing", 0, 0},
        {"movement type", 0x1, Byte},
        {"origin", 0x2, Position},
        {"velocity", 0x4, Position},
        {"movement time", 0x8, Byte},
        {"movement flags", 0x10, Byte},
        {"gravity", 0x20, Short},
        {"delta angles", 0x40, 3 * Angle16},
        {"view offset", 0x80, 3 * Byte},
        {"view angles", 0x100, 3 * Angle16},
        {"kick angles", 0x200, 3 * Byte},
        {"blend", 0x400, 4 * Byte},
        {"field of view", 0x800, Byte},
        {"weapon index", 0x1000, Byte},
        {"weapon frame and gun", 0x2000, 7 * Byte},
        {"render flags", 0x4000, Byte},
        {"bit without a field", 0x8000, 0},
        {"every bit", 0xFFFF,
         Byte + 2 * Position + Byte + Byte + Short + 3 * Angle16 + 3 * Byte + 3 * Angle16 + 3 * Byte + Byte +
             7 * Byte + 4 * Byte + Byte + Byte},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectWidth(17, playerState(c.mask, c.fieldsWidth, 0));
    }
}

TEST(PayloadWidth, PlayerInfoStatistics)
{
    for (const std::uint32_t statBits : {0x1u, 0x80000000u, 0x80000001u, 0xF0u, 0xFFFFFFFFu, 0x55555555u}) {
        SCOPED_TRACE(statBits);
        expectWidth(17, playerState(0, 0, statBits));
        expectWidth(17, playerState(0x2 | 0x2000, Position + 7 * Byte, statBits));
    }
}

MessageWriter serverData(std::int32_t protocol)
{
    MessageWriter message;
    message.serverData(protocol, 1, 1, "baseq2", 0, "Level");
    return message;
}

TEST(PayloadWidth, DownloadDataOnlyFromProtocol32)
{
    const Bytes head = shortBytes(5) + Bytes{100};
    {
        SCOPED_TRACE("protocol 31");
        expectWidth(16, head, serverData(31));
    }
    {
        SCOPED_TRACE("negative protocol");
        expectWidth(16, head, serverData(-34));
    }
    for (const std::int32_t protocol : {32, 34}) {
        SCOPED_TRACE(protocol);
        expectWidth(16, head + zeros(5), serverData(protocol));
        expectWidth(16, shortBytes(0) + Bytes{0}, serverData(protocol));
    }
}

}  // namespace
}  // namespace kest::test
