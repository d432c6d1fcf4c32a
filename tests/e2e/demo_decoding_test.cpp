// Decoding demos end to end: damaged recordings, which end quietly where the
// damage starts, and unknown data, which ends the whole run.

#include <cstdint>
#include <limits>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using DemoDecodingTest = KestTest;

constexpr std::int32_t MinimumLength = std::numeric_limits<std::int32_t>::min();

// Fourteen bytes: a length and a ten-byte print.
const MessageWriter Before = MessageWriter().print(2, "before\n");
const std::string BeforeLine = "TIME: 00:00:00 CLSV: before\n";

Bytes operator+(Bytes bytes, const Bytes& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

Bytes withoutLastByte(Bytes bytes)
{
    bytes.pop_back();
    return bytes;
}

std::string sizeOf(const Bytes& bytes)
{
    return std::to_string(bytes.size());
}

struct DamageCase {
    std::string label;
    Bytes demo;
    long long offset;      // where kest must say the damage starts
    std::string messages;  // the log's message lines for what came before it
};

std::vector<DamageCase> damageCases()
{
    const MessageWriter bad = MessageWriter().command(0);
    return {
        {"OneByteWhereALengthShouldBe", DemoWriter().block(Before).raw({0x01}).bytes(), 14, BeforeLine},
        {"TwoBytesWhereALengthShouldBe", DemoWriter().block(Before).raw({0xFF, 0xFF}).bytes(), 14, BeforeLine},
        {"ThreeBytesWhereALengthShouldBe", DemoWriter().block(Before).raw({0xFF, 0xFF, 0xFF}).bytes(), 14,
         BeforeLine},
        {"LengthMinusTwo", DemoWriter().block(Before).blockWithLength(-2, {}).block(bad).endMarker().bytes(), 14,
         BeforeLine},
        {"LengthMinusFive", DemoWriter().block(Before).blockWithLength(-5, bad.bytes()).endMarker().bytes(), 14,
         BeforeLine},
        {"LengthMinimum", DemoWriter().block(Before).blockWithLength(MinimumLength, bad.bytes()).bytes(), 14,
         BeforeLine},
        {"LengthWithNothingBehindIt", DemoWriter().block(Before).blockWithLength(8, {}).bytes(), 14, BeforeLine},
        {"LengthPastTheEndKeepsTheWholeCommandsBeforeIt",
         DemoWriter().block(Before).blockWithLength(100, MessageWriter().print(1, "inside\n").bytes()).bytes(), 14,
         BeforeLine + "TIME: 00:00:00 FRAG: inside\n"},
        {"LengthOneBytePastTheEnd",
         DemoWriter().block(Before).blockWithLength(10, MessageWriter().print(3, "whole\n").bytes()).bytes(), 14,
         BeforeLine + "TIME: 00:00:00 CHAT: whole\n"},
        {"LengthPastTheEndCuttingAPrint",
         DemoWriter().block(Before).blockWithLength(100, withoutLastByte(MessageWriter().print(1, "cut").bytes()))
             .bytes(),
         14, BeforeLine},
        {"PrintWithoutItsTerminator", DemoWriter().block(Before).block(Bytes{0x0A, 0x02, 'a', 'b'}).bytes(), 18,
         BeforeLine},
        {"PrintWithoutItsLevel", DemoWriter().block(Before).block(Bytes{0x0A}).bytes(), 18, BeforeLine},
        {"CutCommandAfterAWholeOneInItsBlock",
         DemoWriter().block(Before).block(MessageWriter().print(3, "kept\n").raw({0x0A, 0x03, 'x'})).bytes(), 26,
         BeforeLine + "TIME: 00:00:00 CHAT: kept\n"},
        {"InventoryCutShort", DemoWriter().block(Before).block(MessageWriter().command(5, Bytes(10, 0))).bytes(), 18,
         BeforeLine},
        {"ServerDataCutShort", DemoWriter().block(Before).block(MessageWriter().command(12, {34, 0, 0, 0})).bytes(),
         18, BeforeLine},
        {"TemporaryEntityCutShort",
         DemoWriter().block(Before).block(MessageWriter().command(3, {24, 1, 2})).bytes(), 18, BeforeLine},
        {"EntityListWithoutItsEnd",
         DemoWriter().block(Before).block(MessageWriter().command(18, {0x00, 0x05})).bytes(), 18, BeforeLine},
        {"PayloadPastItsBlockAndTheFile",
         DemoWriter().block(Before).block(MessageWriter().print(2, "in block\n")).blockWithLength(2, {0x0A, 0x02})
             .bytes(),
         34, BeforeLine + "TIME: 00:00:00 CLSV: in block\n"},
        {"PayloadPastTheFileFromAnEarlierBlock",
         DemoWriter()
             .block(Before)
             .block(MessageWriter().command(5, {1, 0, 2, 0}))
             .block(MessageWriter().print(2, "after the damage\n"))
             .endMarker()
             .bytes(),
         18, BeforeLine},
        {"DamageFarIntoTheFile",
         DemoWriter().block(MessageWriter(Before).layout(std::string(70000, 'x'))).raw({0x01, 0x02}).bytes(), 70016,
         BeforeLine},
    };
}

void PrintTo(const DamageCase& testCase, std::ostream* out)
{
    *out << testCase.label;
}

class DamagedDemoTest : public KestTest, public ::testing::WithParamInterface<DamageCase> {};

// The demo ends at its damage with what came before; the run goes on with the next demo.
TEST_P(DamagedDemoTest, KeepsWhatCameBeforeTheDamageAndGoesOn)
{
    const DamageCase& damage = GetParam();
    const Bytes good = demo({MessageWriter().print(2, "good\n")});
    write("damaged.dm2", damage.demo);
    write("good.dm2", good);

    const KestRun result = run({"damaged.dm2", "good.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading damaged.dm2...\nWARNING: Demofile damaged.dm2 is damaged at byte " +
                                                    std::to_string(damage.offset) +
                                                    ", rest skipped!\nReading good.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(log(), "Demo filename: damaged.dm2\nDemo filesize: " + sizeOf(damage.demo) + "\n\n" + damage.messages +
                         "\nDemo filename: good.dm2\nDemo filesize: " + sizeOf(good) +
                         "\n\nTIME: 00:00:00 CLSV: good\n");
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedDemoTest, ::testing::ValuesIn(damageCases()),
                         [](const auto& info) { return info.param.label; });

struct IntactCase {
    std::string label;
    Bytes demo;
    std::string messages;
};

std::vector<IntactCase> intactCases()
{
    Bytes tenEmptyBlocks;
    for (int block = 0; block < 10; ++block)
        tenEmptyBlocks = tenEmptyBlocks + Bytes{0, 0, 0, 0};
    return {
        {"NoEndMarker", DemoWriter().block(Before).bytes(), BeforeLine},
        {"BytesAfterTheEndMarker", DemoWriter().block(Before).endMarker().raw({0x00, 0x01, 0xFF}).bytes(), BeforeLine},
        // The print's text runs on into the next block's length field, whose zero byte ends it.
        {"PayloadPastItsBlockEnd",
         DemoWriter().blockWithLength(3, {0x0A, 0x02, 'x'}).block(MessageWriter().print(2, "next\n")).endMarker()
             .bytes(),
         "TIME: 00:00:00 CLSV: x\x08\nTIME: 00:00:00 CLSV: next\n"},
        {"EmptyBlocksCount", DemoWriter().raw(tenEmptyBlocks).block(Before).endMarker().bytes(),
         "TIME: 00:00:01 CLSV: before\n"},
        {"FrameEndsItsBlock",
         demo({MessageWriter().frame().print(2, "hidden\n"), MessageWriter().print(2, "shown\n").frame().command(0)}),
         "TIME: 00:00:00 CLSV: shown\n"},
        // Fields are filled with the frame code: one stepped over short ends the block before the print.
        {"SoundFieldsAndLargestEntity",
         demo({MessageWriter()
                   .command(9, {0x1F, 1, 2, 3, 4, 0x07, 0x20, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14})
                   .command(9, {0xE8, 1, 0x00, 0x20})
                   .command(9, {0x00, 1})
                   .print(2, "after sounds\n")}),
         "TIME: 00:00:00 CLSV: after sounds\n"},
        {"EntityListEndsAtNumberZero",
         demo({MessageWriter()
                   .command(18, {0x81, 0x01, 0x05, 0x00, 0x14, 0x14, 0x00, 0x00})
                   .print(2, "after entities\n")}),
         "TIME: 00:00:00 CLSV: after entities\n"},
    };
}

void PrintTo(const IntactCase& testCase, std::ostream* out)
{
    *out << testCase.label;
}

class IntactDemoTest : public KestTest, public ::testing::WithParamInterface<IntactCase> {};

TEST_P(IntactDemoTest, IsReadWithoutWarning)
{
    write("intact.dm2", GetParam().demo);
    const KestRun result = run({"intact.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading intact.dm2...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(log(), "Demo filename: intact.dm2\nDemo filesize: " + sizeOf(GetParam().demo) + "\n\n" +
                         GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(Demos, IntactDemoTest, ::testing::ValuesIn(intactCases()),
                         [](const auto& info) { return info.param.label; });

struct FatalCase {
    std::string label;
    Bytes demo;
    std::string message;
};

MessageWriter serverData(std::int32_t protocol, std::uint8_t attractLoop)
{
    return MessageWriter().serverData(protocol, 1, attractLoop, "baseq2", 0, "Level");
}

std::vector<FatalCase> fatalCases()
{
    const std::string unknown = "KEST: Unknown demo format ";
    const MessageWriter print = MessageWriter().print(2, "x\n");
    return {
        {"CodeZeroFirst", demo({MessageWriter().command(0)}), unknown + "(this_id: 0x0 prev_id: 0x0)!"},
        {"CodeZeroAfterPrint", demo({MessageWriter(print).command(0)}), unknown + "(this_id: 0x0 prev_id: 0xA)!"},
        {"CodeZeroAfterNopInALaterBlock", demo({print, MessageWriter().nop().command(0)}),
         unknown + "(this_id: 0x0 prev_id: 0x6)!"},
        {"Code15AfterPrint", demo({MessageWriter(print).command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 0)!"},
        {"CodeFFFirst", demo({MessageWriter().command(0xFF)}),
         unknown + "(isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!"},
        {"CodeAfterServerData", demo({serverData(34, 0).command(0x80)}),
         unknown + "(isdemo: 0 this_id: 0x80 prev_id: 0xC sv_version: 34)!"},
        {"CodeInTheBlockAfterServerData", demo({serverData(31, 0), MessageWriter().command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0x0 sv_version: 31)!"},
        {"CodeAfterOddServerData", demo({serverData(-7, 200).command(0x16)}),
         unknown + "(isdemo: 200 this_id: 0x16 prev_id: 0xC sv_version: -7)!"},
        {"CodeInABlockRunningPastTheEnd",
         DemoWriter().blockWithLength(100, MessageWriter(print).command(0).bytes()).bytes(),
         unknown + "(this_id: 0x0 prev_id: 0xA)!"},
        {"TemporaryEntity30", demo({MessageWriter().command(3, Bytes{30} + Bytes(20, 0))}), "Unknown entity!"},
        {"TemporaryEntity255", demo({MessageWriter().command(3, Bytes{255} + Bytes(20, 0))}), "Unknown entity!"},
        {"SoundEntityWord8200", demo({MessageWriter().command(9, {0x08, 1, 0x08, 0x20})}), "Too many entities!"},
        {"SoundEntityWordFFFF", demo({MessageWriter().command(9, {0x0F, 1, 2, 3, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6})}),
         "Too many entities!"},
    };
}

void PrintTo(const FatalCase& testCase, std::ostream* out)
{
    *out << testCase.label;
}

class FatalDemoTest : public KestTest, public ::testing::WithParamInterface<FatalCase> {};

// The run ends at the unknown data: no later demo is read, no log written or changed.
TEST_P(FatalDemoTest, EndsTheRunWithItsMessage)
{
    write("good.dm2", demo({serverData(34, 1), MessageWriter().print(2, "good\n")}));
    write("bad.dm2", GetParam().demo);
    write("later.dm2", demo({MessageWriter().print(2, "later\n")}));

    const KestRun result = runLeavingLogAsItWas({"good.dm2", "bad.dm2", "later.dm2"});
    EXPECT_EQ(result.output, failedOutput("Reading good.dm2...\nReading bad.dm2...\n", GetParam().message));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "");
}

INSTANTIATE_TEST_SUITE_P(Demos, FatalDemoTest, ::testing::ValuesIn(fatalCases()),
                         [](const auto& info) { return info.param.label; });

// A damaged demo does not soften a later error: its warning stays on the console, the log is not written.
TEST_F(DemoDecodingTest, UnknownDataAfterADamagedDemoStillEndsTheRun)
{
    write("1-damaged.dm2", DemoWriter().block(Before).raw({0x01}).bytes());
    write("2-bad.dm2", demo({MessageWriter().command(0x15)}));

    const KestRun result = runLeavingLogAsItWas({"*.dm2"});
    EXPECT_EQ(result.output,
              failedOutput("Reading 1-damaged.dm2...\nWARNING: Demofile 1-damaged.dm2 is damaged at byte 14, rest "
                           "skipped!\nReading 2-bad.dm2...\n",
                           "KEST: Unknown demo format (isdemo: 1 this_id: 0x15 prev_id: 0x0 sv_version: 0)!"));
    EXPECT_EQ(result.exitCode, 1);
}

// The download's data is there from protocol 32 on; the protocol holds from the server data
// to the end of its demo and starts at 0 in each demo.
TEST_F(DemoDecodingTest, ReadsDownloadDataByTheProtocolOfItsDemo)
{
    // As data, these three bytes are stepped over; as commands, they are a print of an empty text.
    const MessageWriter download = MessageWriter().download(3, 50, {0x0A, 0x02, 0x00}).print(2, "after\n");
    const Bytes protocol34 = demo({serverData(34, 0), download});
    const Bytes noServerData = demo({download});
    const Bytes protocol31 = demo({serverData(31, 0), download});
    const Bytes protocol32 = demo({serverData(32, 0), download});
    write("a.dm2", protocol34);
    write("b.dm2", noServerData);
    write("c.dm2", protocol31);
    write("d.dm2", protocol32);

    const KestRun result = run({"?.dm2"});
    EXPECT_EQ(result.exitCode, 0);
    const std::string both = "\nTIME: 00:00:00 CLSV: \nTIME: 00:00:00 CLSV: after\n";
    const std::string afterOnly = "\nTIME: 00:00:00 CLSV: after\n";
    EXPECT_EQ(log(), "Demo filename: a.dm2\nDemo filesize: " + sizeOf(protocol34) + "\nMap name: Level\n" + afterOnly +
                         "\nDemo filename: b.dm2\nDemo filesize: " + sizeOf(noServerData) + "\n" + both +
                         "\nDemo filename: c.dm2\nDemo filesize: " + sizeOf(protocol31) + "\nMap name: Level\n" + both +
                         "\nDemo filename: d.dm2\nDemo filesize: " + sizeOf(protocol32) + "\nMap name: Level\n" +
                         afterOnly);
}

}  // namespace
}  // namespace kest::e2e
