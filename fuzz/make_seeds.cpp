// Writes the fuzz seed corpus: small, well-formed demos that between them hold
// every command code, every temporary-entity layout, entity deltas with one to
// four header bytes, player-state deltas with statistics, sounds with each flag,
// downloads before and after the server data, prints of each level and config
// string 33, and a compressed match. Also writes the crafted damaged demos the
// regression folder starts with. The output is the same bytes on every run.
//
//   kest_make_seeds CORPUS_DIR REGRESSIONS_DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "demo_writer/demo_writer.h"
#include "gzip_writer/gzip_writer.h"

namespace {

using kest::demo_writer::Bytes;
using kest::demo_writer::DemoWriter;
using kest::demo_writer::MessageWriter;

struct Seed {
    std::string name;
    Bytes bytes;
};

// Stands behind the command under test: had the parser stepped over that
// command's payload with a wrong width, it would not land on this print.
MessageWriter& witness(MessageWriter& message)
{
    return message.print(2, "seed ok\n");
}

// The first block of a recording: the server data and the map's config string.
MessageWriter serverInfo(std::int32_t protocol = 34)
{
    MessageWriter message;
    message.serverData(protocol, 7, 0, "baseq2", 1, "The Edge").configString(33, "maps/q2dm1.bsp");
    return message;
}

// A demo of the server-info block, the given blocks and the end marker.
Bytes recording(const std::vector<MessageWriter>& blocks, std::int32_t protocol = 34)
{
    DemoWriter demo;
    demo.block(serverInfo(protocol));
    for (const MessageWriter& block : blocks)
        demo.block(block);
    return demo.endMarker().bytes();
}

// One block holding `command` and the witness.
template <typename Lay>
Bytes commandSeed(Lay lay)
{
    MessageWriter message;
    lay(message);
    return recording({witness(message)});
}

// --- temporary entities (command 3) --------------------------------------

enum class TempEntityLayout {
    PositionDirection,
    TwoPositions,
    Position,
    CountPositionDirectionColour,
    EntityTwoPositions,
    EntityThreePositions,
};

struct TempEntityGroup {
    const char* name;
    TempEntityLayout layout;
    std::vector<std::uint8_t> types;
};

const std::vector<TempEntityGroup> TempEntityGroups = {
    {"position-direction", TempEntityLayout::PositionDirection, {0, 1, 2, 4, 9, 12, 13, 14, 27}},
    {"two-positions", TempEntityLayout::TwoPositions, {3, 11, 23, 26}},
    {"position", TempEntityLayout::Position, {5, 6, 7, 8, 17, 18, 20, 21, 22, 28}},
    {"count-position-direction-colour", TempEntityLayout::CountPositionDirectionColour, {10, 15, 25, 29}},
    {"entity-two-positions", TempEntityLayout::EntityTwoPositions, {16, 19}},
    {"entity-three-positions", TempEntityLayout::EntityThreePositions, {24}},
};

void tempEntity(MessageWriter& message, std::uint8_t type, TempEntityLayout layout)
{
    message.byte(3).byte(type);
    switch (layout) {
    case TempEntityLayout::PositionDirection:
        message.position(128, -256, 32).byte(17);
        break;
    case TempEntityLayout::TwoPositions:
        message.position(0, 64, -8).position(512, 64, -8);
        break;
    case TempEntityLayout::Position:
        message.position(-1024, 1024, 0);
        break;
    case TempEntityLayout::CountPositionDirectionColour:
        message.byte(12).position(40, 40, 40).byte(5).byte(0xE0);
        break;
    case TempEntityLayout::EntityTwoPositions:
        message.shortValue(3).position(1, 2, 3).position(4, 5, 6);
        break;
    case TempEntityLayout::EntityThreePositions:
        message.shortValue(4).position(1, 2, 3).position(4, 5, 6).position(7, 8, 9);
        break;
    }
}

// --- sound (command 9) ------------------------------------------------------

// The largest entity word kest accepts: entity 1024, channel 7.
constexpr std::uint16_t LastSoundEntityWord = 8199;

void sound(MessageWriter& message, std::uint8_t flags)
{
    message.byte(9).byte(flags).byte(42);
    if (flags & 0x01)
        message.byte(200);  // volume
    if (flags & 0x02)
        message.byte(64);  // attenuation
    if (flags & 0x10)
        message.byte(3);  // time offset
    if (flags & 0x08)
        message.shortValue(LastSoundEntityWord);
    if (flags & 0x04)
        message.position(16, 32, 48);
}

// --- entity deltas (commands 14 and 18) --------------------------------------

// The header bits, in as many bytes as their "more bits follow" flags ask for,
// then the entity number: a short when 0x100 is set, else a byte.
void entityHeader(MessageWriter& message, std::uint32_t bits, std::uint16_t number)
{
    message.byte(static_cast<std::uint8_t>(bits));
    if (bits & 0x80)
        message.byte(static_cast<std::uint8_t>(bits >> 8));
    if (bits & 0x8000)
        message.byte(static_cast<std::uint8_t>(bits >> 16));
    if (bits & 0x800000)
        message.byte(static_cast<std::uint8_t>(bits >> 24));
    if (bits & 0x100)
        message.shortValue(number);
    else
        message.byte(static_cast<std::uint8_t>(number));
}

// One header byte: frame, origin x and y, angles y and z, event.
void entityWithOneHeaderByte(MessageWriter& message)
{
    entityHeader(message, 0x3F, 5);
    message.byte(11);                        // frame
    message.shortValue(0x0100).shortValue(0xFF00);  // origin x, y
    message.byte(0x40).byte(0x80);           // angles y, z
    message.byte(1);                         // event
}

// Two header bytes: a short number, model, effects and render effects as bytes,
// origin z, angle x; 0x40 and 0x2000 carry nothing.
void entityWithTwoHeaderBytes(MessageWriter& message)
{
    entityHeader(message, 0x7FC0, 300);
    message.byte(2);            // model
    message.byte(0x10);         // effects
    message.byte(0x20);         // render effects
    message.shortValue(0x0040);  // origin z
    message.byte(0x10);         // angle x
}

// Three header bytes: models two to four, both frames, skin as a byte, effects
// and render effects as shorts.
void entityWithThreeHeaderBytes(MessageWriter& message)
{
    entityHeader(message, 0x7F8090, 9);
    message.byte(3).byte(4).byte(5);  // second to fourth model
    message.byte(6).shortValue(600);  // frame, frame as a short
    message.byte(1);                  // skin
    message.shortValue(0x0102);        // effects
    message.shortValue(0x0304);        // render effects
}

// Four header bytes: a short number, skin as a short, effects and render effects
// as longs, old origin, sound and solid; 0x10000000 carries nothing.
void entityWithFourHeaderBytes(MessageWriter& message)
{
    entityHeader(message, 0x1F0CD180 | 0x800000 | 0x8000 | 0x80, 1024);
    message.shortValue(7);                   // skin
    message.longValue(0x01020304);           // effects
    message.longValue(0x05060708);           // render effects
    message.position(-8, -16, -24);          // old origin
    message.byte(9);                         // sound
    message.shortValue(0x0A0B);              // solid
}

// Four header bytes whose skin is a long.
void entityWithLongSkin(MessageWriter& message)
{
    entityHeader(message, 0x82818080, 12);
    message.longValue(-2);  // skin
}

// The entity number 0 that ends command 18.
void entityListEnd(MessageWriter& message)
{
    entityHeader(message, 0, 0);
}

// --- player state (command 17) -------------------------------------------

void playerStateWithAllFields(MessageWriter& message)
{
    message.byte(17).shortValue(0x7FFF);
    message.byte(4);                                   // movement type
    message.position(8, -16, 24);                      // origin
    message.position(0, 0, -100);                      // velocity
    message.byte(3).byte(0x20);                        // movement time, flags
    message.shortValue(800);                           // gravity
    message.shortValue(1).shortValue(2).shortValue(3);  // delta angles
    message.byte(0).byte(0).byte(22);                  // view offset
    message.shortValue(4).shortValue(5).shortValue(6);  // view angles
    message.byte(1).byte(2).byte(3);                   // kick angles
    message.byte(7);                                   // weapon index
    message.raw({8, 1, 2, 3, 4, 5, 6});                // weapon frame, gun offset, gun angles
    message.raw({255, 0, 0, 64});                      // blend
    message.byte(90);                                  // field of view
    message.byte(1);                                   // render flags
    message.longValue(static_cast<std::int32_t>(0x80000005));  // statistics 0, 2 and 31
    message.shortValue(100).shortValue(5).shortValue(1);
}

void playerStateWithEveryStatistic(MessageWriter& message)
{
    message.byte(17).shortValue(0x8000);  // a mask bit with no field
    message.longValue(-1);
    for (std::uint16_t stat = 0; stat < 32; ++stat)
        message.shortValue(static_cast<std::uint16_t>(stat * 3));
}

// --- multi-view recordings ------------------------------------------------

Bytes multiView(const std::vector<MessageWriter>& blocks)
{
    DemoWriter writer(DemoWriter::Format::MultiView);
    for (const MessageWriter& block : blocks)
        writer.block(block);
    return writer.endMarker().bytes();
}

kest::demo_writer::MultiViewServerData multiViewLevel(std::uint16_t minorVersion, std::uint16_t flags)
{
    return {minorVersion, flags, 2, {{0, "The Edge"}, {30, "16"}, {33, "maps/q2dm1.bsp"}, {63, "maps/big.bsp"}}};
}

// A seed per command, each in a block behind the server data, and a short match.
void addMultiViewSeeds(std::vector<Seed>& seeds)
{
    auto add = [&seeds](std::string name, Bytes bytes) { seeds.push_back({"mvd-" + std::move(name) + ".mvd2", std::move(bytes)}); };
    const MessageWriter start = MessageWriter().multiViewServerData(multiViewLevel(2010, 0));
    const auto seed = [&start](const MessageWriter& block) { return multiView({start, block, MessageWriter().multiViewFrame()}); };
    const MessageWriter toClient = MessageWriter().print(2, "Alpha entered the game\n").layout("xv 0").sound({});

    add("01-nop", seed(MessageWriter().multiViewNop()));
    add("04-server-data-extended-2011", multiView({MessageWriter().multiViewServerData(multiViewLevel(2011, 4))}));
    add("04-server-data-flags-short-2012", multiView({MessageWriter().multiViewServerData(multiViewLevel(2012, 5))}));
    add("05-config-string", seed(MessageWriter().multiViewConfigString(1312, "Alpha\\male/grunt")));
    add("06-frame-ends-block", seed(MessageWriter().multiViewFrame().multiViewPrint(3, "never read\n")));
    add("08-unicast-own-client", seed(MessageWriter().unicast(2, toClient)));
    add("08-unicast-other-client", seed(MessageWriter().unicast(5, toClient)));
    add("09-reliable-unicast-long", seed(MessageWriter().unicast(2, MessageWriter().layout(std::string(300, 'x')), true)));
    for (std::uint8_t kind = 10; kind <= 15; ++kind)
        add("1x-multicast-" + std::to_string(kind), seed(MessageWriter().multicast(kind, 77, MessageWriter().muzzleFlash(3, 1))));
    add("16-sound", seed(MessageWriter().multiViewSound({200, 200, 64, 3, 8 * 12 + 1, {}})));
    for (std::uint8_t level = 0; level <= 4; ++level)
        add("17-print-level-" + std::to_string(level), seed(MessageWriter().multiViewPrint(level, "Beta: hi\n")));

    std::vector<MessageWriter> match = {start};
    for (int block = 0; block < 40; ++block) {
        MessageWriter message;
        if (block % 5 == 0)
            message.unicast(static_cast<std::uint8_t>(block % 3 + 1), MessageWriter().print(1, "A was railed by B\n"));
        if (block % 7 == 0)
            message.multiViewPrint(3, "Gamma: " + std::to_string(block) + "\n");
        message.multicast(12, 9, MessageWriter().muzzleFlash(2, 1)).multiViewFrame();
        match.push_back(message);
    }
    add("match-short", multiView(match));
    add("match-short-gzip", kest::gzip_writer::gzip(multiView(match)));
}

// --- the corpus ------------------------------------------------------------

std::vector<Seed> corpus()
{
    std::vector<Seed> seeds;
    auto add = [&seeds](std::string name, Bytes bytes) { seeds.push_back({std::move(name) + ".dm2", std::move(bytes)}); };

    add("blocks-empty-file", {});
    add("blocks-end-marker-only", DemoWriter().endMarker().bytes());
    add("blocks-zero-length", DemoWriter().block(Bytes{}).block(Bytes{}).block(MessageWriter().print(3, "after\n")).endMarker().bytes());
    add("blocks-no-end-marker", DemoWriter().block(MessageWriter().print(3, "hi\n")).bytes());
    add("blocks-bytes-after-end-marker", DemoWriter().block(MessageWriter().print(1, "x fragged y\n")).endMarker().raw({0x0A, 0x03, 'n', 0}).bytes());

    add("01-muzzle-flash", commandSeed([](MessageWriter& m) { m.muzzleFlash(12, 3); }));
    add("02-monster-muzzle-flash", commandSeed([](MessageWriter& m) { m.monsterMuzzleFlash(700, 41); }));
    for (const TempEntityGroup& group : TempEntityGroups) {
        add("03-temp-entity-" + std::string(group.name), commandSeed([&group](MessageWriter& m) {
                for (const std::uint8_t type : group.types)
                    tempEntity(m, type, group.layout);
            }));
    }
    add("04-layout", commandSeed([](MessageWriter& m) { m.layout("xv 32 yv 8 picn help"); }));
    add("05-inventory", commandSeed([](MessageWriter& m) { m.inventory({0, 1, 50, 0xFFFF}); }));
    add("06-nop", commandSeed([](MessageWriter& m) { m.nop().nop(); }));
    add("07-disconnect", commandSeed([](MessageWriter& m) { m.disconnect(); }));
    add("08-reconnect", commandSeed([](MessageWriter& m) { m.reconnect(); }));
    for (const std::uint8_t flags : {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0xE0, 0xFF}) {
        char name[32];
        std::snprintf(name, sizeof name, "09-sound-flags-%02x", flags);
        add(name, commandSeed([flags](MessageWriter& m) { sound(m, flags); }));
    }
    for (std::uint8_t level = 0; level <= 3; ++level) {
        add("10-print-level-" + std::to_string(level),
            commandSeed([level](MessageWriter& m) { m.print(level, "Beta: level " + std::to_string(level) + "\n"); }));
    }
    add("10-print-above-chat", commandSeed([](MessageWriter& m) { m.print(4, "not a message\n"); }));
    add("10-print-without-lf-and-high-bytes", commandSeed([](MessageWriter& m) { m.print(3, "\xE9t\xE9 two\nlines"); }));
    add("10-print-without-server-data", DemoWriter().block(MessageWriter().print(2, "Alpha entered the game\n")).endMarker().bytes());
    add("11-stuff-text", commandSeed([](MessageWriter& m) { m.stuffText("cmd configstrings 7 0\n"); }));
    add("12-server-data-twice", recording({MessageWriter().serverData(34, 8, 1, "", 0, "Second Map").print(3, "attract\n")}));
    add("13-config-string-33", commandSeed([](MessageWriter& m) { m.configString(33, "maps/base1.bsp"); }));
    add("13-config-string-33-ends-in-slash", commandSeed([](MessageWriter& m) { m.configString(33, "maps/"); }));
    add("13-config-string-other-indexes", commandSeed([](MessageWriter& m) {
            m.configString(0, "").configString(32, "maps/no.bsp").configString(34, "models/a.md2").configString(0xFFFF, "x");
        }));
    add("14-spawn-baseline-1-header-byte", commandSeed([](MessageWriter& m) { entityWithOneHeaderByte(m.byte(14)); }));
    add("14-spawn-baseline-2-header-bytes", commandSeed([](MessageWriter& m) { entityWithTwoHeaderBytes(m.byte(14)); }));
    add("14-spawn-baseline-3-header-bytes", commandSeed([](MessageWriter& m) { entityWithThreeHeaderBytes(m.byte(14)); }));
    add("14-spawn-baseline-4-header-bytes", commandSeed([](MessageWriter& m) { entityWithFourHeaderBytes(m.byte(14)); }));
    add("14-spawn-baseline-long-skin", commandSeed([](MessageWriter& m) { entityWithLongSkin(m.byte(14)); }));
    add("15-center-print", commandSeed([](MessageWriter& m) { m.centerPrint("Fight!"); }));
    add("16-download-before-server-data",
        DemoWriter().block(witness(MessageWriter().download(4, 50, {}))).endMarker().bytes());
    add("16-download-after-server-data", commandSeed([](MessageWriter& m) { m.download(4, 50, {1, 2, 3, 4}); }));
    add("16-download-protocol-31", recording({witness(MessageWriter().download(4, 50, {}))}, 31));
    add("17-player-info-all-fields", commandSeed([](MessageWriter& m) { playerStateWithAllFields(m); }));
    add("17-player-info-every-statistic", commandSeed([](MessageWriter& m) { playerStateWithEveryStatistic(m); }));
    add("17-player-info-empty", commandSeed([](MessageWriter& m) { m.byte(17).shortValue(0).longValue(0); }));
    add("18-packet-entities", commandSeed([](MessageWriter& m) {
            m.byte(18);
            entityWithOneHeaderByte(m);
            entityWithTwoHeaderBytes(m);
            entityWithThreeHeaderBytes(m);
            entityWithFourHeaderBytes(m);
            entityWithLongSkin(m);
            entityListEnd(m);
        }));
    add("18-packet-entities-empty", commandSeed([](MessageWriter& m) { entityListEnd(m.byte(18)); }));
    add("18-packet-entities-short-number-0", commandSeed([](MessageWriter& m) { entityHeader(m.byte(18), 0x180, 0); }));
    add("19-delta-packet-entities", commandSeed([](MessageWriter& m) { m.deltaPacketEntities(); }));
    add("20-frame-ends-block", recording({MessageWriter().frame().print(3, "never read\n").byte(0), MessageWriter().print(3, "read\n")}));
    add("20-frame-after-print", recording({MessageWriter().print(1, "A was railed by B\n").frame().raw({0xFF, 0x00})}));

    // A short match: prints of every level between frames, sounds and effects.
    std::vector<MessageWriter> match;
    match.push_back(MessageWriter().configString(1, "sound/weapons/railgf1a.wav"));
    match.push_back([] {
        MessageWriter baselines;
        entityWithOneHeaderByte(baselines.byte(14));
        entityWithTwoHeaderBytes(baselines.byte(14));
        return baselines;
    }());
    for (int block = 0; block < 40; ++block) {
        MessageWriter message;
        if (block % 3 == 0)
            sound(message, 0x0B);
        if (block % 7 == 0)
            tempEntity(message, 27, TempEntityLayout::PositionDirection);
        if (block % 10 == 4)
            message.print(static_cast<std::uint8_t>(block % 4), "Gamma: " + std::to_string(block) + "\n");
        playerStateWithAllFields(message);
        entityWithOneHeaderByte(message.byte(18));
        entityListEnd(message);
        message.frame().raw({0x11, 0x22});
        match.push_back(message);
    }
    add("match-short", recording(match));
    // The same match compressed, as a compressing recorder writes it: the way in for the inflater.
    add("match-short-gzip", kest::gzip_writer::gzip(recording(match)));

    addMultiViewSeeds(seeds);
    return seeds;
}

// Damaged demos: each would take a parser without bounds outside its buffer,
// backwards or round for ever.
std::vector<Seed> damagedDemos()
{
    const MessageWriter hello = MessageWriter().print(3, "hello\n");
    std::vector<Seed> demos;
    auto add = [&demos](std::string name, Bytes bytes) { demos.push_back({std::move(name) + ".dm2", std::move(bytes)}); };

    add("block-length-minus-four", DemoWriter().block(hello).blockWithLength(-4, {}).block(hello).endMarker().bytes());
    add("block-length-minus-two", DemoWriter().block(hello).blockWithLength(-2, {}).endMarker().bytes());
    add("block-length-lowest", DemoWriter().block(hello).blockWithLength(INT32_MIN, {}).endMarker().bytes());
    add("block-past-end-of-file", DemoWriter().blockWithLength(100, hello.bytes()).bytes());
    add("length-field-cut-short", DemoWriter().block(hello).raw({0x06, 0x00}).bytes());
    add("payload-past-block-end", DemoWriter().blockWithLength(2, hello.bytes()).block(hello).endMarker().bytes());
    add("string-without-terminator", DemoWriter().raw({0x0A, 0x00, 0x00, 0x00, 0x0A, 0x03, 'n', 'o', ' ', 'e', 'n', 'd'}).bytes());
    add("config-string-33-without-slash", recording({MessageWriter().configString(33, "base1.bsp")}));
    add("download-past-end-of-file", DemoWriter().block(serverInfo()).block(MessageWriter().download(0xFFFF, 1, {1, 2})).bytes());
    add("packet-entities-without-end", DemoWriter().block([] {
            MessageWriter message;
            entityWithOneHeaderByte(message.byte(18));
            return message;
        }()).bytes());
    return demos;
}

bool writeAll(const std::string& folder, const std::vector<Seed>& seeds)
{
    for (const Seed& seed : seeds) {
        if (!kest::demo_writer::writeFile(folder + "/" + seed.name, seed.bytes)) {
            std::fprintf(stderr, "kest_make_seeds: cannot write %s/%s\n", folder.c_str(), seed.name.c_str());
            return false;
        }
    }
    std::printf("%zu demos in %s\n", seeds.size(), folder.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kest_make_seeds CORPUS_DIR REGRESSIONS_DIR\n");
        return 2;
    }
    return writeAll(argv[1], corpus()) && writeAll(argv[2], damagedDemos()) ? 0 : 1;
}
