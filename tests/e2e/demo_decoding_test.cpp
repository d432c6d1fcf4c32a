// Decoding demos end to end: damaged recordings, which end quietly where the
// damage starts, and unknown data, which ends the whole run.

#include <cstdint>
#include <limits>
#include <tuple>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using DemoDecodingTest = KestTest;

MessageWriter serverData(std::int32_t protocol, std::uint8_t attractLoop)
{
    return MessageWriter().serverData(protocol, 1, attractLoop, "baseq2", 0, "Level");
}

// Data that ends where more was promised is damage: the demo ends at the length field or
// command where its data ran out, with what came before it. The walk goes by lengths alone.
TEST_F(DemoDecodingTest, DamagedDemoEndsWhereItsDataEnds)
{
    const Bytes bad = MessageWriter().command(0).bytes();
    const auto print = [](const std::string& text) { return MessageWriter().print(2, text + "\n"); };
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    // What follows a first block of fourteen bytes that prints "before"; where kest must say the
    // damage starts (-1 for nowhere); the log's message lines after "before".
    const std::vector<std::tuple<const char*, DemoWriter, long long, std::string>> cases = {
        {"OneByteWhereALengthShouldBe", DemoWriter().raw({0x01}), 14, ""},
        {"TwoBytesWhereALengthShouldBe", DemoWriter().raw({0xFF, 0xFF}), 14, ""},
        {"ThreeBytesWhereALengthShouldBe", DemoWriter().raw({0xFF, 0xFF, 0xFF}), 14, ""},
        {"LengthMinusTwo", DemoWriter().blockWithLength(-2, {}).block(bad).endMarker(), 14, ""},
        {"LengthMinimum", DemoWriter().blockWithLength(std::numeric_limits<std::int32_t>::min(), bad), 14, ""},
        {"LengthPastTheEnd", DemoWriter().blockWithLength(100, print("inside").bytes()), 14, clsv + "inside\n"},
        {"PrintWithoutItsTerminator", DemoWriter().block(Bytes{0x0A, 0x02, 'a', 'b'}), 18, ""},
        {"CutCommandAfterAWholeOne", DemoWriter().block(print("kept").raw({0x0A, 0x03, 'x'})), 26, clsv + "kept\n"},
        {"PayloadPastTheFile", DemoWriter().block(MessageWriter().command(5, {1, 0, 2, 0})).block(print("x")), 18, ""},
        {"EntityListWithoutItsEnd", DemoWriter().block(MessageWriter().command(18, {0x00, 0x05})), 18, ""},
        {"FarIntoTheFile", DemoWriter().block(MessageWriter().layout(std::string(70000, 'x'))).raw({1}), 70020, ""},
        {"NoEndMarker", DemoWriter(), -1, ""},
        // The print's text runs on into the next block's length field, whose zero byte ends it.
        {"PayloadPastItsBlockEnd", DemoWriter().blockWithLength(3, {0x0A, 0x02, 'x'}).block(print("next")).endMarker(),
         -1, clsv + "x\x08\n" + clsv + "next\n"},
        {"EmptyBlocksCount", DemoWriter().raw(Bytes(40, 0)).block(print("b12")).endMarker(), -1,
         "TIME: 00:00:01 CLSV: b12\n"},
        {"FrameEndsItsBlock",
         DemoWriter().block(print("x").frame().command(0)).block(MessageWriter().frame().print(2, "y")), -1, clsv + "x\n"},
        // Fields filled with the frame code: one stepped over short ends the block before the print.
        // The largest entity word a sound may carry is 8199.
        {"SoundFieldsAndLargestEntity",
         DemoWriter().block(MessageWriter()
                                .command(9, {0x1F, 1, 2, 3, 4, 0x07, 0x20, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14})
                                .command(9, {0xE8, 1, 0x00, 0x20})
                                .command(9, {0x00, 1})
                                .print(2, "after sounds\n")),
         -1, clsv + "after sounds\n"},
    };
    const Bytes good = demo({print("good")});
    write("good.dm2", good);
    for (const auto& [label, rest, damagedAt, messages] : cases) {
        SCOPED_TRACE(label);
        const Bytes bytes = DemoWriter().block(print("before")).raw(rest.bytes()).bytes();
        write("tested.dm2", bytes);
        const std::string warned = damagedAt < 0 ? "" : warning("tested.dm2", damagedAt);
        EXPECT_EQ(completedLog({"tested.dm2", "good.dm2"}, reading("tested.dm2") + warned + reading("good.dm2")),
                  header("tested.dm2", bytes.size()) + "\nTIME: 00:00:00 CLSV: before\n" + messages + "\n" +
                      header("good.dm2", good.size()) + "\nTIME: 00:00:00 CLSV: good\n");
    }
}

// The run ends at the unknown data: no later demo is read, no log written or changed. A damaged
// demo before it, whose server data set another protocol, changes neither.
TEST_F(DemoDecodingTest, UnknownDataEndsTheRunWithItsMessage)
{
    const Bytes damaged = DemoWriter().block(serverData(34, 1).print(2, "damaged\n")).raw({0x01}).bytes();
    write("a.dm2", damaged);
    write("c.dm2", demo({MessageWriter().print(2, "later\n")}));
    const MessageWriter print = MessageWriter().print(2, "x\n");
    const std::string unknown = "KEST: Unknown demo format ";
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {demo({MessageWriter().command(0)}), unknown + "(this_id: 0x0 prev_id: 0x0)!"},
        {demo({MessageWriter(print).command(0)}), unknown + "(this_id: 0x0 prev_id: 0xA)!"},
        {demo({MessageWriter(print).command(0x15)}), unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 0)!"},
        {demo({MessageWriter().command(0xFF)}), unknown + "(isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!"},
        {demo({serverData(-7, 200).command(0x16)}),
         unknown + "(isdemo: 200 this_id: 0x16 prev_id: 0xC sv_version: -7)!"},
        {demo({serverData(31, 0), MessageWriter().command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0x0 sv_version: 31)!"},
        {DemoWriter().blockWithLength(100, MessageWriter(print).command(0).bytes()).bytes(),
         unknown + "(this_id: 0x0 prev_id: 0xA)!"},
        {demo({MessageWriter().command(3, Bytes(21, 30))}), "Unknown entity!"},
        {demo({MessageWriter().command(9, {0x08, 1, 0x08, 0x20})}), "Too many entities!"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        write("b.dm2", bytes);
        const KestRun result = runKeepingLog({"a.dm2", "b.dm2", "c.dm2"});
        const std::string lines = reading("a.dm2") + warning("a.dm2", damaged.size() - 1) + reading("b.dm2");
        EXPECT_EQ(result.output, failed(lines, message));
        EXPECT_EQ(result.exitCode, 1);
    }
}

// The download's data is there from protocol 32 on; the protocol holds from the server data
// to the end of its demo and starts at 0 in each demo.
TEST_F(DemoDecodingTest, ReadsDownloadDataByTheProtocolOfItsDemo)
{
    // As data, these three bytes are stepped over; as commands, they are a print of an empty text.
    const MessageWriter download = MessageWriter().download(3, 50, {0x0A, 0x02, 0x00}).print(2, "after\n");
    // Protocol 0: no server data.
    const std::vector<std::tuple<std::string, std::int32_t, bool>> demos = {
        {"a.dm2", 34, false}, {"b.dm2", 0, true}, {"c.dm2", 31, true}, {"d.dm2", 32, false}};
    std::string lines;
    std::string log;
    for (const auto& [name, protocol, dataReadAsPrint] : demos) {
        const Bytes bytes = protocol == 0 ? demo({download}) : demo({serverData(protocol, 0), download});
        write(name, bytes);
        lines += reading(name);
        log += (log.empty() ? "" : "\n") + header(name, bytes.size()) + (protocol == 0 ? "" : "Map name: Level\n") +
               (dataReadAsPrint ? "\nTIME: 00:00:00 CLSV: \n" : "\n") + "TIME: 00:00:00 CLSV: after\n";
    }
    EXPECT_EQ(completedLog({"?.dm2"}, lines), log);
}

}  // namespace
}  // namespace kest::e2e
