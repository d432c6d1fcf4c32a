// A demo's data, plain or gzip-compressed, whatever the sizes of the reads. Decoding demos made
// with the demo writer: through windows of a few bytes, where every block,
// text and payload straddles the window's edge somewhere and the outcome must be that of a
// window that holds the whole demo; how many bytes each command's payload takes, in both
// formats; the map file that config string 33 names; and a multi-view recording's server
// data, the prints it keeps, its match facts, framing and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "demo/demo_input.h"
#include "demo/demo_window.h"
#include "demo_writer/demo_writer.h"
#include "gzip_writer/gzip_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;
using demo_writer::MultiViewServerData;
using gzip_writer::gzip;
using gzip_writer::gzipPieces;

// Every byte a demo's data holds, read `capacity` bytes at most at a time from a file handing
// out `piece` bytes at most; nothing if a read failed.
std::optional<Bytes> dataOf(const Bytes& file, std::size_t capacity, std::size_t piece = SIZE_MAX,
                            std::size_t failAt = SIZE_MAX)
{
    PiecedSource source(file, piece, failAt);
    DemoInput input(source);
    Bytes data;
    std::vector<std::uint8_t> buffer(capacity);
    for (;;) {
        const std::optional<std::size_t> got = input.read(buffer.data(), capacity);
        if (!got)
            return std::nullopt;
        EXPECT_LE(*got, capacity);
        if (*got == 0)
            return data;
        data.insert(data.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got));
    }
}

Bytes text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Lines enough to need several reads of compressed input, with a byte above 0x7F in each.
Bytes longData()
{
    std::string lines;
    for (int i = 0; lines.size() < 3 * GzipSource::InputCapacity; ++i)
        lines += "\x8F" + std::to_string(i * 7919 % 100003) + " was railed by " + std::to_string(i) + "\n";
    return text(lines);
}

// What a file's bytes make for data, whatever the sizes of the reads that take them. The bytes
// inflated before inflate finds a fault stay data, even those of the read that finds it.
TEST(DemoInput, DataOfPlainAndCompressedFiles)
{
    const Bytes whole = longData();
    const Bytes small = text("TIME: 00:00:01 CHAT: gg\n");
    const Bytes magic = {0x1F, 0x8B, 0x08};
    Bytes badChecksum = gzip(small);
    badChecksum[badChecksum.size() - gzip_writer::TrailerSize] ^= 0x01;
    Bytes changedStoredByte = gzip(small, 0);
    const auto stored = std::search(changedStoredByte.begin(), changedStoredByte.end(), small.begin(), small.end());
    ASSERT_NE(stored, changedStoredByte.end());
    stored[21] = 'G';  // only the checksum tells
    Bytes changedSmall = small;
    changedSmall[21] = 'G';
    // A block type that does not exist, in the block after the first piece.
    gzip_writer::GzipMember twoPieces = gzipPieces({small, small});
    twoPieces.bytes[twoPieces.pieceEnds[0]] |= 0x06;
    // A member cut short keeps what it inflates to: the pieces before a cut at a piece's end, all of it
    // for a cut in the trailer.
    const gzip_writer::GzipMember member = gzipPieces({small, whole, small});
    const auto cut = [&member](std::size_t size) {
        return Bytes(member.bytes.begin(), member.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    };
    const std::tuple<const char*, Bytes, Bytes> cases[] = {  // name, file, data
        {"empty file", {}, {}},
        {"one byte of the magic", {0x1F}, {0x1F}},
        {"two bytes of the magic", {0x1F, 0x8B}, {0x1F, 0x8B}},
        {"the magic with another method", {0x1F, 0x8B, 0x07, 0x00}, {0x1F, 0x8B, 0x07, 0x00}},
        {"plain demo", whole, whole},
        {"compressed demo", gzip(whole), whole},
        {"stored, not compressed", gzip(small, 0), small},
        {"two members in a row", gzip(small) + gzip(whole), small + whole},
        {"an empty member between two", gzip(small) + gzip({}) + gzip(small), small + small},
        {"the magic alone", magic, {}},
        {"zeros after the member", gzip(small) + Bytes(600, 0), small},
        {"a plain file after the member", gzip(small) + small, small},
        {"checksum", badChecksum, small},
        {"stored byte changed", changedStoredByte, changedSmall},
        {"the second member's checksum", gzip(small) + badChecksum + gzip(small), small + small},
        {"unknown block type", twoPieces.bytes, small},
        {"cut at the end of the first piece", cut(member.pieceEnds[0]), small},
        {"cut at the end of the second piece", cut(member.pieceEnds[1]), small + whole},
        {"cut in the trailer", cut(member.bytes.size() - 1), small + whole + small},
    };
    for (const auto& [name, file, data] : cases) {
        for (const std::size_t capacity : {1, 2, 3, 7, 65536}) {
            for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{4096}, SIZE_MAX}) {
                SCOPED_TRACE(std::string(name) + ", reads of " + std::to_string(capacity) + " from pieces of " +
                             std::to_string(piece));
                if (piece < 4096 && capacity == 65536 && data.size() > 100000)
                    continue;  // the long data a byte at a time takes long and finds nothing new
                EXPECT_EQ(dataOf(file, capacity, piece), data);
            }
        }
    }
}

// A file that fails to read fails the data, compressed or not, however far inflating has come.
TEST(DemoInput, FailingFileFailsTheData)
{
    const Bytes whole = longData();
    for (const Bytes& file : {whole, gzip(whole)}) {
        for (const std::size_t failAt : {std::size_t{0}, std::size_t{2}, std::size_t{3}, file.size() / 2}) {
            SCOPED_TRACE("failing after " + std::to_string(failAt) + " of " + std::to_string(file.size()));
            EXPECT_EQ(dataOf(file, 65536, 1024, failAt), std::nullopt);
        }
    }
}

// A demo that puts every kind of read the window must serve behind a lead-in
// block of `shift` bytes, so that each lands at another offset of the window.
Bytes demoShiftedBy(std::size_t shift)
{
    return DemoWriter()
        .block(MessageWriter().layout(std::string(shift, 'l')))
        .block(MessageWriter().serverData(34, 1, 0, "baseq2", 0, "Level").configString(33, "maps/q2dm1.bsp"))
        .block(MessageWriter().print(3, "a text longer than the window\n").frame().print(3, "hidden"))
        .block(MessageWriter().inventory({1, 2, 3}).print(1, "after a 512-byte payload\n"))
        // The print's text runs on past its block of three bytes into the next length field.
        .blockWithLength(3, {0x0A, 0x02, 'x'})
        .block(MessageWriter().download(5, 50, {1, 2, 3, 4, 5}).print(2, "next\n"))
        // A sound whose flags, index and entity are the next block's length field: three reads past its block.
        .blockWithLength(1, {0x09})
        .block(MessageWriter().print(2, "after\n"))
        .block(Bytes{})
        .block(MessageWriter().print(2, "last\n"))
        .endMarker()
        .bytes();
}

TEST(DemoWindow, SmallWindowsAtEveryOffsetDecodeAsAWholeOne)
{
    for (std::size_t shift = 0; shift < 24; ++shift) {
        const Bytes demo = demoShiftedBy(shift);
        const std::string whole = decoded(demo, FactScope::Log, demo.size());
        ASSERT_NE(whole.find("2 4 Q2DM1.BSP|"), std::string::npos) << whole;
        ASSERT_NE(whole.find("|5 2 x"), std::string::npos) << whole;
        ASSERT_NE(whole.find("|8 2 after\n|"), std::string::npos) << whole;
        for (std::size_t capacity = 1; capacity <= 40; ++capacity) {
            SCOPED_TRACE("shift " + std::to_string(shift) + ", window of " + std::to_string(capacity));
            EXPECT_EQ(decoded(demo, FactScope::Log, capacity), whole);
            EXPECT_EQ(decoded(demo, FactScope::Log, capacity, 3), whole);
        }
    }
}

// Data that ends inside a length, a text or a payload gives the same damage offset whatever the window.
TEST(DemoWindow, CutDemosEndAtTheSameByteWhateverTheWindow)
{
    const Bytes demo = demoShiftedBy(5);
    for (std::size_t cut = 0; cut <= demo.size(); ++cut) {
        const Bytes part(demo.begin(), demo.begin() + static_cast<std::ptrdiff_t>(cut));
        const std::string whole = decoded(part);
        for (const std::size_t capacity : {1, 2, 3, 5, 8, 13}) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + ", window of " + std::to_string(capacity));
            EXPECT_EQ(decoded(part, FactScope::Log, capacity, 2), whole);
        }
    }
}

// How many bytes each command's payload takes. Every case puts a command with a payload of
// exactly its width, then a print: the print's record shows the decoder stepped over exactly
// that payload. One byte fewer or one more must break that, so a payload read too narrow or
// too wide is caught.

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

// Multi-view recordings: each command's payload width, the server data's records, whose
// prints are kept, the play time, the framing and the errors.

Bytes recording(const std::vector<MessageWriter>& blocks) { return demoOf(blocks, DemoWriter::Format::MultiView); }

MultiViewServerData level(std::int16_t ownClient = -1, std::uint16_t minorVersion = 2010, std::uint16_t flags = 0)
{
    return {minorVersion, flags, ownClient, {{0, "The Edge"}, {33, "maps/q2dm1.bsp"}, {63, "maps/ext.bsp"}}};
}

const std::string LevelRecords = "0 6 The Edge|0 4 Q2DM1.BSP|";

// The payload of a command, exactly: a print behind it is read as the block's last record.
// One byte fewer or more must break that (0x55 is no command).
TEST(MultiView, PayloadWidthOfEveryCommand)
{
    const Bytes leaf = {0x34, 0x12};
    const struct {
        const char* name;
        Bytes command;
        bool extendedLimits = false;
    } cases[] = {
        {"nop", {1}}, {"config string", {5, 33, 0, 'm', 0}}, {"print", {17, 2, 'x', 0}},
        {"unicast to another client", {8, 3, 7, 0x55, 0x55, 0x55}}, {"reliable unicast", {9, 1, 7, 0x55}},
        {"unicast of 256 bytes: extra bits", Bytes{0x28, 0, 7} + Bytes(256, 0x55)},
        {"multicast to all", {10, 2, 0x55, 0x55}}, {"reliable multicast to all", {13, 1, 0x55}},
        {"multicast to the hearable set", Bytes{11, 2} + leaf + Bytes{0x55, 0x55}},
        {"multicast to the visible set", Bytes{12, 1} + leaf + Bytes{0x55}},
        {"reliable multicast to the hearable set", Bytes{14, 1} + leaf + Bytes{0x55}},
        {"reliable multicast to the visible set", Bytes{15, 1} + leaf + Bytes{0x55}},
        {"multicast of 257 bytes: extra bits", Bytes{0x2A, 1} + Bytes(257, 0x55)},
        {"sound without flags", {16, 0, 7, 0x61, 0}}, {"sound with volume", {16, 0x01, 7, 200, 0x61, 0}},
        {"sound with attenuation", {16, 0x02, 7, 64, 0x61, 0}}, {"sound with time offset", {16, 0x10, 7, 3, 0x61, 0}},
        {"sound bits without a field", {16, 0x04 | 0x08 | 0x40 | 0x80, 7, 0x61, 0}},
        {"sound index short flag without extended limits", {16, 0x20, 7, 0x61, 0}},
        {"sound index short with extended limits", {16, 0x20, 7, 1, 0x61, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MessageWriter start = MessageWriter().multiViewServerData(level(-1, 2012, c.extendedLimits ? 4 : 0));
        expectExactPayload(c.command, 1, [&start](const Bytes& command) {
            return recording({start, MessageWriter().raw(command).multiViewPrint(2, "next\n")});
        });
    }
}

// The server data: its version, where the flags come from, which table ends the config
// strings and which of them names the map's model.
TEST(MultiView, ServerDataRecordsAndVersions)
{
    const std::string unknown = "KEST: Unknown demo format (this_id: 0x";
    const std::tuple<const char*, MessageWriter, std::string> cases[] = {  // name, block, records
        {"oldest minor version", MessageWriter().multiViewServerData(level(-1, 2009)), LevelRecords},
        {"flags in a short", MessageWriter().multiViewServerData(level(-1, 2012)), LevelRecords},
        {"extended limits in the extra bits", MessageWriter().multiViewServerData(level(-1, 2011, 4)),
         "0 6 The Edge|0 4 EXT.BSP|"},
        {"extended limits in the flags short", MessageWriter().multiViewServerData(level(-1, 2012, 4 | 1)),
         "0 6 The Edge|0 4 EXT.BSP|"},
        {"no extended limits before 2011", MessageWriter().multiViewServerData(level(-1, 2010, 4)), LevelRecords},
        {"no config strings", MessageWriter().multiViewServerData({2010, 0, -1, {}}), "0 6 |0 4 |"},
        {"newer minor version", MessageWriter().multiViewServerData(level(-1, 2013)), unknown + "4 prev_id: 0x0)!"},
        {"older minor version, flags in the extra bits",
         MessageWriter().multiViewNop().multiViewServerData(level(-1, 2008, 4)), unknown + "84 prev_id: 0x1)!"},
        {"another protocol", MessageWriter().command(4, {36, 0, 0, 0, 0xDA, 0x07}), unknown + "4 prev_id: 0x0)!"},
    };
    for (const auto& [name, block, records] : cases) {
        const std::string ending = records.back() == '!' ? "" : "read to its end";
        EXPECT_EQ(decoded(recording({block})), records + ending) << name;
    }
}

// Prints to all are kept, and of the unicasts only the recording's own client's prints,
// within the unicast's length. The blocks of the server data take no time.
TEST(MultiView, PrintsKeptAndTheirTime)
{
    const MessageWriter toOwn = MessageWriter().print(3, "own\n");
    const Bytes printPastItsUnicast = {8, 4, 3, 10, 2, 'a', 'b'};
    const std::vector<MessageWriter> blocks = {
        MessageWriter().multiViewServerData(level(3)),
        MessageWriter().multiViewFrame(),
        MessageWriter().unicast(3, toOwn).unicast(4, MessageWriter().print(3, "other\n")).multiViewPrint(2, "all\n"),
        MessageWriter().unicast(3, MessageWriter().print(1, "kept\n").command(0x55).print(1, "lost\n"), true),
        MessageWriter().raw(printPastItsUnicast).multiViewPrint(2, "after\n"),
        MessageWriter().unicast(3, MessageWriter().frame().print(2, "behind a frame\n")).multiViewPrint(2, "on\n"),
        MessageWriter().multiViewPrint(2, "before a frame\n").multiViewFrame().multiViewPrint(2, "behind\n"),
        // A print whose level and first byte would read as a nop and a frame: a config string
        // stepped over a byte too far would make this block one that keeps nothing.
        MessageWriter().multiViewConfigString(5, "x").multiViewPrint(1, "\x06 frame\n"),
        MessageWriter().multiViewServerData(level(-1)),
        MessageWriter().unicast(255, toOwn).multiViewPrint(1, "late\n"),
    };
    EXPECT_EQ(decoded(recording(blocks)),
              LevelRecords + "2 3 own\n|2 2 all\n|3 1 kept\n|4 2 after\n|5 2 on\n|6 2 before a frame\n|" +
                  "7 1 \x06 frame\n|7 6 The Edge|7 4 Q2DM1.BSP|8 1 late\n|read to its end");
}

// With the match facts kept: the server data's facts, the players but the recording's own
// client, the own client's layouts, and the play time less the server data's blocks.
TEST(MultiView, MatchFactsRecords)
{
    const MultiViewServerData withPlayers = {
        2010, 0, 2, {{0, "The Edge"}, {33, "maps/q2dm1.bsp"}, {1312, "Ann\\female/athena"}, {1314, "[MVDSPEC]\\male/grunt"}}};
    const std::vector<MessageWriter> blocks = {
        MessageWriter().multiViewServerData(withPlayers),
        MessageWriter().multiViewConfigString(1313, "Bob\\male/grunt").multiViewConfigString(1314, "watcher").unicast(
            2, MessageWriter().layout("client 0 0 0 1 5 0")),
        MessageWriter().multiViewFrame(),
    };
    EXPECT_EQ(decoded(recording(blocks), FactScope::Match),
              "0 200 mvd2|0 202 37|0 203 2010|0 204 baseq2|0 6 The Edge|0 4 Q2DM1.BSP|0 1000 Ann\\female/athena|"
              "1 1001 Bob\\male/grunt|1 205 client 0 0 0 1 5 0|2 206 |read to its end");
}

// The blocks' framing, damage and unknown commands.
TEST(MultiView, FramingAndErrors)
{
    const Bytes magic = {'M', 'V', 'D', '2'};
    const Bytes print = MessageWriter().multiViewPrint(2, "hi\n").bytes();  // 6 bytes
    const auto withoutEndMarker = [](Bytes bytes) { return bytes.resize(bytes.size() - 2), bytes; };
    const std::tuple<const char*, Bytes, std::string> cases[] = {  // name, recording, outcome
        {"the magic alone", magic, "read to its end"},
        {"the end marker, then anything", magic + Bytes{0, 0, 6, 0} + print, "read to its end"},
        {"no end marker", magic + Bytes{6, 0} + print, "1 2 hi\n|read to its end"},
        {"one byte where a length should be", magic + Bytes{6, 0} + print + Bytes{1}, "1 2 hi\n|damaged at 12"},
        {"a block past the end", magic + Bytes{6, 0} + print + Bytes{9, 0} + print, "1 2 hi\n|2 2 hi\n|damaged at 12"},
        {"three bytes of the magic: a player's demo", {'M', 'V', 'D'}, "damaged at 0"},
        {"an unknown command after a print", magic + Bytes{8, 0} + print + Bytes{2, 0},
         "1 2 hi\n|KEST: Unknown demo format (this_id: 0x2 prev_id: 0x11)!"},
        {"an unknown command with extra bits", magic + Bytes{1, 0, 0x55},
         "KEST: Unknown demo format (this_id: 0x55 prev_id: 0x0)!"},
        // The own client's unicast, in the last block, claims a byte more than the data holds.
        {"a unicast past the end of the data",
         withoutEndMarker(recording({MessageWriter().multiViewServerData(level(3)), MessageWriter().raw({8, 5, 3, 10, 2, 'a', 'b'})})),
         LevelRecords + "damaged at 78"},  // its block's length field
    };
    for (const auto& [name, bytes, outcome] : cases)
        EXPECT_EQ(decoded(bytes), outcome) << name;
}

}  // namespace
}  // namespace kest
