// Multi-view recordings made with the demo writer: each command's payload
// width, the server data's records, whose prints are kept, the play time, the
// framing and the errors.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "demo_writer/demo_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;
using demo_writer::MultiViewServerData;

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
    };
    for (const auto& [name, bytes, outcome] : cases)
        EXPECT_EQ(decoded(bytes), outcome) << name;
}

}  // namespace
}  // namespace kest
