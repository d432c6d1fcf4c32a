#include <gtest/gtest.h>

#include <limits>

#include "demo_support.h"

namespace kest::test {
namespace {

using Records = std::vector<Record>;

MessageWriter print(std::uint8_t level, std::string_view text)
{
    MessageWriter message;
    message.print(level, text);
    return message;
}

// ---- The block walk ----

TEST(DemoParser, NoBytesOrOnlyTheEndMarkerGiveNothing)
{
    for (const Bytes& demo : {Bytes{}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}}) {
        const Outcome outcome = parse(demo);
        EXPECT_TRUE(outcome.records.empty());
        EXPECT_FALSE(outcome.damage);
        EXPECT_FALSE(outcome.fatal);
    }
}

TEST(DemoParser, OneBlockWithOnePrint)
{
    const Bytes demo = {0x06, 0x00, 0x00, 0x00, 0x0A, 0x03, 'h', 'i', 0x0A, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    const Outcome outcome = parse(demo);
    EXPECT_EQ(outcome.records, (Records{{1, 3, "hi\n"}}));
    EXPECT_FALSE(outcome.damage);
}

TEST(DemoParser, BytesAfterTheEndMarkerAreIgnored)
{
    DemoWriter demo;
    demo.block(print(2, "a\n")).endMarker().block(print(2, "b\n")).raw({0x00, 0x00});
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{1, 2, "a\n"}}));
}

TEST(DemoParser, FrameInFrontOfThePrintStopsTheBlock)
{
    const Bytes demo = {0x07, 0x00, 0x00, 0x00, 0x14, 0x0A, 0x03, 'h', 'i', 0x0A, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    const Outcome outcome = parse(demo);
    EXPECT_TRUE(outcome.records.empty());
    EXPECT_FALSE(outcome.damage);
}

TEST(DemoParser, FrameEndsOnlyItsOwnBlock)
{
    MessageWriter first;
    // Nothing behind the frame is examined, not even a code that would be fatal.
    first.print(1, "before\n").frame().print(1, "hidden\n").byte(0x00);
    DemoWriter demo;
    demo.block(first).block(print(1, "after\n")).endMarker();
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{1, 1, "before\n"}, {2, 1, "after\n"}}));
}

TEST(DemoParser, EmptyBlocksAreCounted)
{
    DemoWriter demo;
    demo.block(Bytes{}).block(print(2, "a\n")).block(Bytes{}).block(Bytes{}).block(print(3, "b\n")).endMarker();
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{2, 2, "a\n"}, {5, 3, "b\n"}}));
}

// A string read goes on past the block end: the next block's length field
// ends it. The next block still starts at that length field.
TEST(DemoParser, PayloadRunsIntoTheNextBlockWhichStillStartsAtItsLength)
{
    const MessageWriter second = print(3, "b\n");
    ASSERT_EQ(second.size(), 5u);
    DemoWriter demo;
    demo.block(Bytes{0x0A, 0x02, 'a'}).block(second).endMarker();
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{1, 2, "a\x05"}, {2, 3, "b\n"}}));
}

TEST(DemoParser, DownloadDataRunningPastTheBlockEndEndsTheBlock)
{
    MessageWriter first;
    first.serverData(34, 1, 1, "baseq2", 0, "Level").download(40, 0, {});
    DemoWriter demo;
    demo.block(first).block(print(2, "a long text that holds more than forty bytes\n")).endMarker();
    const Outcome outcome = parse(demo.bytes());
    EXPECT_EQ(outcome.records,
              (Records{{1, 6, "Level"}, {2, 2, "a long text that holds more than forty bytes\n"}}));
    EXPECT_FALSE(outcome.damage);
}

// ---- Print ----

TEST(DemoParser, PrintLevelIsTheKind)
{
    for (std::uint8_t level = 0; level <= 3; ++level) {
        SCOPED_TRACE(int{level});
        EXPECT_EQ(parseBlock(print(level, "text\n")).records, (Records{{1, level, "text\n"}}));
    }
}

TEST(DemoParser, PrintLevelsAboveChatAreNeverRecorded)
{
    for (const std::uint8_t level : {4, 5, 6, 7, 100, 101, 255}) {
        SCOPED_TRACE(int{level});
        MessageWriter message;
        message.print(level, "odd\n").print(1, "next\n");
        EXPECT_EQ(parseBlock(message).records, (Records{{1, 1, "next\n"}}));
    }
}

TEST(DemoParser, PrintTextPassesThroughUnchanged)
{
    EXPECT_EQ(parseBlock(print(3, "a\nb \x80\xE9\xFF")).records, (Records{{1, 3, "a\nb \x80\xE9\xFF"}}));
    EXPECT_EQ(parseBlock(print(2, "")).records, (Records{{1, 2, ""}}));
}

// ---- Server data and config strings ----

TEST(DemoParser, ServerDataRecordsTheLevelName)
{
    MessageWriter message;
    message.serverData(34, 0x12345678, 1, "baseq2", 0xFFFF, "The \xC4\x64ge\nof it").print(2, "next\n");
    DemoWriter demo;
    demo.block(Bytes{}).block(message).endMarker();
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{2, 6, "The \xC4\x64ge\nof it"}, {2, 2, "next\n"}}));
}

TEST(DemoParser, MapModelConfigStringGivesTheMapFile)
{
    const struct {
        std::string model;
        std::string file;
    } cases[] = {
        {"maps/base1.bsp", "BASE1.BSP"},
        {"maps/q2dm1.bsp", "Q2DM1.BSP"},
        {"a/b/MixEd_9z.bsp", "MIXED_9Z.BSP"},
        {"maps/`az{@AZ[.bsp", "`AZ{@AZ[.BSP"},
        {"maps/\xE4x\xF6\x7F.bsp", "\xE4X\xF6\x7F.BSP"},
        {"maps/", ""},
        {"base1.bsp", "BASE1.BSP"},
        {"", ""},
        {"/", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        MessageWriter message;
        message.configString(33, c.model).print(2, "next\n");
        DemoWriter demo;
        demo.block(Bytes{}).block(Bytes{}).block(message).endMarker();
        EXPECT_EQ(parse(demo.bytes()).records, (Records{{3, 4, c.file}, {3, 2, "next\n"}}));
    }
}

TEST(DemoParser, OtherConfigStringsGiveNothing)
{
    for (const std::uint16_t index : {0, 1, 32, 34, 0x121, 0x2100, 0xFFFF}) {
        SCOPED_TRACE(index);
        MessageWriter message;
        message.configString(index, "maps/base1.bsp").print(2, "next\n");
        EXPECT_EQ(parseBlock(message).records, (Records{{1, 2, "next\n"}}));
    }
}

// ---- sv_version and the download data ----

// Three bytes of download data that form a print of level 1 if they are read as commands.
MessageWriter downloadOfAPrint()
{
    MessageWriter message;
    message.download(3, 100, {0x0A, 0x01, 0x00}).print(2, "next\n");
    return message;
}

TEST(DemoParser, ProtocolCarriesFromBlockToBlock)
{
    for (const std::int32_t protocol : {32, 34}) {
        SCOPED_TRACE(protocol);
        MessageWriter first;
        first.serverData(protocol, 1, 1, "baseq2", 0, "Level");
        DemoWriter demo;
        demo.block(first).block(Bytes{}).block(downloadOfAPrint()).endMarker();
        EXPECT_EQ(parse(demo.bytes()).records, (Records{{1, 6, "Level"}, {3, 2, "next\n"}}));
    }
}

TEST(DemoParser, DownloadDataIsNotThereBeforeProtocol32)
{
    MessageWriter first;
    first.serverData(31, 1, 1, "baseq2", 0, "Level");
    DemoWriter demo;
    demo.block(first).block(downloadOfAPrint()).endMarker();
    EXPECT_EQ(parse(demo.bytes()).records, (Records{{1, 6, "Level"}, {2, 1, ""}, {2, 2, "next\n"}}));
}

TEST(DemoParser, EveryParserStartsWithoutAProtocol)
{
    MessageList list;
    MessageWriter first;
    first.serverData(34, 1, 1, "baseq2", 0, "Level");
    const Bytes earlier = DemoWriter().block(first).endMarker().bytes();
    DemoParser(earlier.data(), earlier.size()).run(list);

    const Bytes later = DemoWriter().block(downloadOfAPrint()).endMarker().bytes();
    DemoParser(later.data(), later.size()).run(list);
    EXPECT_EQ(recordsOf(list), (Records{{1, 6, "Level"}, {1, 1, ""}, {1, 2, "next\n"}}));
}

// ---- Fatal errors ----

std::optional<std::string> fatalOf(const DemoWriter& demo)
{
    return parse(demo.bytes()).fatal;
}

TEST(DemoParser, UnknownCodesEndTheRunWithTheDecoderState)
{
    MessageWriter serverData;
    serverData.serverData(34, 1, 0, "baseq2", 0, "Level");
    MessageWriter oddServerData;
    oddServerData.serverData(-1, 1, 200, "baseq2", 0, "Level");
    const struct {
        const char* name;
        DemoWriter demo;
        const char* message;
    } cases[] = {
        {"code 0 first in a block", DemoWriter().block(Bytes{0x00}).endMarker(),
         "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!"},
        {"code 0 after a config string",
         DemoWriter().block(MessageWriter().configString(5, "x").byte(0x00)).endMarker(),
         "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xD)!"},
        {"code 0 after delta packet entities",
         DemoWriter().block(MessageWriter().deltaPacketEntities().byte(0x00)).endMarker(),
         "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x13)!"},
        {"code 0 first in the block after a print",
         DemoWriter().block(print(2, "a\n")).block(Bytes{0x00}).endMarker(),
         "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!"},
        {"code 0x15 after a print", DemoWriter().block(MessageWriter().print(2, "a\n").byte(0x15)).endMarker(),
         "KEST: Unknown demo format (isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 0)!"},
        {"code 0xFF first", DemoWriter().block(Bytes{0xFF}).endMarker(),
         "KEST: Unknown demo format (isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!"},
        {"after server data in the block", DemoWriter().block(MessageWriter(serverData).byte(0x16)).endMarker(),
         "KEST: Unknown demo format (isdemo: 0 this_id: 0x16 prev_id: 0xC sv_version: 34)!"},
        {"attract byte 200 and protocol -1",
         DemoWriter().block(MessageWriter(oddServerData).nop().byte(0xAB)).endMarker(),
         "KEST: Unknown demo format (isdemo: 200 this_id: 0xAB prev_id: 0x6 sv_version: -1)!"},
        {"the block after server data", DemoWriter().block(serverData).block(MessageWriter().nop().byte(0x20)).endMarker(),
         "KEST: Unknown demo format (isdemo: 1 this_id: 0x20 prev_id: 0x6 sv_version: 34)!"},
        {"temporary entity 30", DemoWriter().block(Bytes{0x03, 30, 0, 0, 0, 0, 0, 0, 0}).endMarker(),
         "Unknown entity!"},
        {"sound entity word 8200", DemoWriter().block(Bytes{0x09, 0x08, 1, 0x08, 0x20}).endMarker(),
         "Too many entities!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fatalOf(c.demo), c.message);
    }
}

// ---- Damaged data ----

TEST(DemoParser, FileEndingAfterAWholeBlockIsNotDamaged)
{
    for (const Bytes& last : {print(1, "a\n").bytes(), Bytes{}}) {
        DemoWriter demo;
        demo.block(print(2, "first\n")).block(last);
        const Outcome outcome = parse(demo.bytes());
        EXPECT_FALSE(outcome.damage);
        EXPECT_FALSE(outcome.records.empty());
    }
}

TEST(DemoParser, PayloadMayReadIntoTheEndMarker)
{
    MessageWriter message;
    message.print(2, "a\n").byte(0x01).byte(0x00);  // a muzzle flash one byte short
    const Outcome outcome = parse(DemoWriter().block(message).endMarker().bytes());
    EXPECT_EQ(outcome.records, (Records{{1, 2, "a\n"}}));
    EXPECT_FALSE(outcome.damage);
}

TEST(DemoParser, CutLengthFieldIsDamageAtIt)
{
    for (std::size_t left = 1; left <= 3; ++left) {
        SCOPED_TRACE(left);
        DemoWriter demo;
        demo.block(print(2, "kept\n"));
        const std::size_t lengthOffset = demo.size();
        demo.raw(Bytes(left, 0x00));
        const Outcome outcome = parse(demo.bytes());
        EXPECT_EQ(outcome.records, (Records{{1, 2, "kept\n"}}));
        EXPECT_EQ(outcome.damage, lengthOffset);
    }
}

TEST(DemoParser, LengthBelowMinusOneIsDamageAtIt)
{
    for (const std::int32_t length : {-2, -3, -4, -5, -1000, std::numeric_limits<std::int32_t>::min()}) {
        SCOPED_TRACE(length);
        DemoWriter demo;
        demo.block(print(2, "kept\n"));
        const std::size_t lengthOffset = demo.size();
        demo.blockWithLength(length, print(2, "never\n").bytes()).endMarker();
        const Outcome outcome = parse(demo.bytes());
        EXPECT_EQ(outcome.records, (Records{{1, 2, "kept\n"}}));
        EXPECT_EQ(outcome.damage, lengthOffset);
    }
}

TEST(DemoParser, BlockRunningPastTheEndIsDecodedThenDamagedAtItsLength)
{
    MessageWriter cut;
    cut.print(3, "there\n").raw({0x0A, 0x01, 'c', 'u', 't'});  // a print whose text the file's end cuts
    for (const std::int32_t length : {100, std::numeric_limits<std::int32_t>::max()}) {
        SCOPED_TRACE(length);
        DemoWriter demo;
        demo.block(print(2, "first\n"));
        const std::size_t lengthOffset = demo.size();
        demo.blockWithLength(length, cut.bytes());
        const Outcome outcome = parse(demo.bytes());
        EXPECT_EQ(outcome.records, (Records{{1, 2, "first\n"}, {2, 3, "there\n"}}));
        EXPECT_EQ(outcome.damage, lengthOffset);
    }
}

Bytes withoutLast(Bytes bytes)
{
    bytes.pop_back();
    return bytes;
}

TEST(DemoParser, CommandRunningPastTheEndIsDamageAtItsCode)
{
    const struct {
        const char* name;
        Bytes command;
    } cases[] = {
        {"muzzle flash", {0x01, 0x00, 0x00}},
        {"temporary entity", {0x03, 24, 0x00}},
        {"inventory", Bytes{0x05} + zeros(511)},
        {"sound position", {0x09, 0x04, 1, 0, 0, 0, 0, 0}},
        {"print text", {0x0A, 0x02, 'a', 'b'}},
        {"server data level name", withoutLast(MessageWriter().serverData(34, 1, 1, "baseq2", 0, "Level").bytes())},
        {"config string 33", Bytes{0x0D, 33, 0, 'm', 'a', 'p', 's', '/', 'a'}},
        {"spawn baseline fields", {0x0E, 0x01, 0x05, 0x00}},
        {"player info statistics", {0x11, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"packet entities without entity 0", {0x12, 0x00, 0x05, 0x01, 0x06, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageWriter message;
        message.print(2, "kept\n").raw(c.command);
        DemoWriter demo;
        demo.block(print(1, "first\n"));
        const std::size_t codeOffset = demo.size() + 4 + print(2, "kept\n").size();
        demo.block(message);
        const Outcome outcome = parse(demo.bytes());
        EXPECT_EQ(outcome.records, (Records{{1, 1, "first\n"}, {2, 2, "kept\n"}}));
        EXPECT_EQ(outcome.damage, codeOffset);
    }
}

TEST(DemoParser, DownloadDataPastTheEndIsDamageAtItsCode)
{
    MessageWriter message;
    message.serverData(34, 1, 1, "baseq2", 0, "Level");
    const std::size_t codeOffset = 4 + message.size();
    message.download(10, 0, {1, 2, 3});
    const Outcome outcome = parse(DemoWriter().block(message).bytes());
    EXPECT_EQ(outcome.records, (Records{{1, 6, "Level"}}));
    EXPECT_EQ(outcome.damage, codeOffset);
}

// The entity loop ignores the block end; it is the file's end that stops it.
TEST(DemoParser, PacketEntitiesLoopRunsPastTheBlockEnd)
{
    const Bytes entities = {0x12, 0x00, 0x01};
    const Outcome cut = parse(DemoWriter().block(entities).bytes());
    EXPECT_TRUE(cut.records.empty());
    EXPECT_EQ(cut.damage, 4u);

    // Followed by a block of length 6 (06 00 00 00): the loop reads 06 as
    // header bits and 00 as entity 0, and ends there.
    const MessageWriter next = MessageWriter().nop().print(2, "bc");
    ASSERT_EQ(next.size(), 6u);
    const Outcome followed = parse(DemoWriter().block(entities).block(next).endMarker().bytes());
    EXPECT_EQ(followed.records, (Records{{2, 2, "bc"}}));
    EXPECT_FALSE(followed.damage);
}

}  // namespace
}  // namespace kest::test
