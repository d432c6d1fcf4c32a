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

struct DecodingCase {
    const char* label;
    Bytes demo;
    long long damagedAt;  // where kest must say the damage starts; -1 for a demo read without warning
    const char* messages;  // the log's message lines for the demo, after the first block's
};

// Data that ends where more was promised is damage: the demo ends at the length field or
// command where its data ran out, with what came before it. The walk goes by lengths alone.
// The first block of each demo, fourteen bytes, prints "before".
TEST_F(DemoDecodingTest, DamagedDemoEndsWhereItsDataEnds)
{
    const auto after = [](const Bytes& bytes) { return DemoWriter().block(MessageWriter().print(2, "before\n")).raw(bytes); };
    const Bytes bad = MessageWriter().command(0).bytes();
    const std::vector<DecodingCase> cases = {
        {"OneByteWhereALengthShouldBe", after({0x01}).bytes(), 14, ""},
        {"TwoBytesWhereALengthShouldBe", after({0xFF, 0xFF}).bytes(), 14, ""},
        {"ThreeBytesWhereALengthShouldBe", after({0xFF, 0xFF, 0xFF}).bytes(), 14, ""},
        {"LengthMinusTwo", after({}).blockWithLength(-2, {}).block(bad).endMarker().bytes(), 14, ""},
        {"LengthMinimum", after({}).blockWithLength(std::numeric_limits<std::int32_t>::min(), bad).bytes(), 14, ""},
        {"LengthPastTheEndKeepsTheWholeCommandsBeforeIt",
         after({}).blockWithLength(100, MessageWriter().print(1, "inside\n").bytes()).bytes(), 14,
         "TIME: 00:00:00 FRAG: inside\n"},
        {"PrintWithoutItsTerminator", after({}).block(Bytes{0x0A, 0x02, 'a', 'b'}).bytes(), 18, ""},
        {"CutCommandAfterAWholeOneInItsBlock",
         after({}).block(MessageWriter().print(3, "kept\n").raw({0x0A, 0x03, 'x'})).bytes(), 26,
         "TIME: 00:00:00 CHAT: kept\n"},
        {"PayloadPastTheFileHidesTheBlocksAfterIt",
         after({}).block(MessageWriter().command(5, {1, 0, 2, 0})).block(MessageWriter().print(2, "x\n")).bytes(), 18, ""},
        {"EntityListWithoutItsEnd", after({}).block(MessageWriter().command(18, {0x00, 0x05})).bytes(), 18, ""},
        {"DamageFarIntoTheFile", after({}).block(MessageWriter().layout(std::string(70000, 'x'))).raw({1}).bytes(),
         70020, ""},
        {"NoEndMarker", after({}).bytes(), -1, ""},
        // The print's text runs on into the next block's length field, whose zero byte ends it.
        {"PayloadPastItsBlockEnd",
         after({}).blockWithLength(3, {0x0A, 0x02, 'x'}).block(MessageWriter().print(2, "next\n")).endMarker().bytes(),
         -1, "TIME: 00:00:00 CLSV: x\x08\nTIME: 00:00:00 CLSV: next\n"},
        {"EmptyBlocksCount", after(Bytes(40, 0)).block(MessageWriter().print(2, "b11\n")).endMarker().bytes(), -1,
         "TIME: 00:00:01 CLSV: b11\n"},
        {"FrameEndsItsBlock",
         after({}).block(MessageWriter().frame().print(2, "hidden\n")).block(MessageWriter().print(2, "shown\n").frame().command(0))
             .endMarker().bytes(),
         -1, "TIME: 00:00:00 CLSV: shown\n"},
        // Fields are filled with the frame code: one stepped over short ends the block before the print.
        // The largest entity word a sound may carry is 8199.
        {"SoundFieldsAndLargestEntity",
         after({}).block(MessageWriter()
                             .command(9, {0x1F, 1, 2, 3, 4, 0x07, 0x20, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14})
                             .command(9, {0xE8, 1, 0x00, 0x20})
                             .command(9, {0x00, 1})
                             .print(2, "after sounds\n"))
             .endMarker().bytes(),
         -1, "TIME: 00:00:00 CLSV: after sounds\n"},
    };
    const Bytes good = demo({MessageWriter().print(2, "good\n")});
    write("good.dm2", good);
    for (const DecodingCase& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        write("tested.dm2", testCase.demo);
        EXPECT_EQ(completedLog({"tested.dm2", "good.dm2"},
                               reading("tested.dm2") + (testCase.damagedAt < 0 ? "" : warning("tested.dm2", testCase.damagedAt)) +
                                   reading("good.dm2")),
                  header("tested.dm2", testCase.demo.size()) + "\nTIME: 00:00:00 CLSV: before\n" + testCase.messages +
                      "\n" + header("good.dm2", good.size()) + "\nTIME: 00:00:00 CLSV: good\n");
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
        {demo({serverData(-7, 200).command(0x16)}), unknown + "(isdemo: 200 this_id: 0x16 prev_id: 0xC sv_version: -7)!"},
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
        EXPECT_EQ(result.output, failed(reading("a.dm2") + warning("a.dm2", damaged.size() - 1) + reading("b.dm2"), message));
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
        log += (log.empty() ? "" : "\n") + header(name, bytes.size()) + (protocol == 0 ? "" : "Map name: Level\n") + "\n" +
               (dataReadAsPrint ? "TIME: 00:00:00 CLSV: \n" : "") + "TIME: 00:00:00 CLSV: after\n";
    }
    EXPECT_EQ(completedLog({"?.dm2"}, lines), log);
}

}  // namespace
}  // namespace kest::e2e
