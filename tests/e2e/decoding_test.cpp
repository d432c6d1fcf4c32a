// Decoding demos end to end. Made-up demos: damage, which ends a demo quietly where
// its data ends, and unknown data, which ends the whole run; the sample match in both
// formats. Real recordings: each one's log against the log made for it independently,
// then the same recordings cut short and with bytes changed, where kest must keep to
// its defined messages.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <set>
#include <tuple>

#include "gzip_writer/gzip_writer.h"
#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using DemoDecodingTest = KestTest;

// Data that ends where more was promised is damage: the demo ends at the length field or
// command where its data ran out, with what came before it. The walk goes by lengths alone.
TEST_F(DemoDecodingTest, DamagedDemoEndsWhereItsDataEnds)
{
    const auto print = [](const std::string& text) { return MessageWriter().print(2, text + "\n"); };
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    // What follows a first block of fourteen bytes that prints "before"; where kest must say the
    // damage starts (-1 for nowhere); the log's message lines after "before".
    const std::vector<std::tuple<const char*, DemoWriter, long long, std::string>> cases = {
        {"OneByteWhereALengthShouldBe", DemoWriter().raw({0x01}), 14, ""},
        {"ThreeBytesWhereALengthShouldBe", DemoWriter().raw({0xFF, 0xFF, 0xFF}), 14, ""},
        {"LengthMinusTwo", DemoWriter().blockWithLength(-2, {}).block(Bytes{0}).endMarker(), 14, ""},
        {"LengthMinimum", DemoWriter().blockWithLength(std::numeric_limits<std::int32_t>::min(), {0}), 14, ""},
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
        // Bytes after the end marker are not read.
        {"EmptyBlocksCount", DemoWriter().raw(Bytes(40, 0)).block(print("b12")).endMarker().raw({9}), -1,
         "TIME: 00:00:01 CLSV: b12\n"},
        // The second block's frame hides a print of "y" behind it.
        {"FrameEndsItsBlock", DemoWriter().block(print("x").frame().command(0)).block(Bytes{20, 10, 2, 'y', 0}), -1,
         clsv + "x\n"},
        // Fields filled with the frame code: one stepped over short ends the block before the print.
        // The largest entity word a sound may carry is 8199; the largest temporary-entity type is 29.
        {"SoundsAndTemporaryEntity",
         DemoWriter().block(MessageWriter().command(9, {0x1F, 1, 2, 3, 4, 0x07, 0x20, 20, 20, 20, 20, 20, 20})
                                .command(9, {0xE8, 1, 0x00, 0x20}).command(9, {0x00, 1}).print(2, "after sounds\n")
                                .command(3, {29, 20, 20, 20, 20, 20, 20, 20, 20, 20}).print(2, "after 29\n")),
         -1, clsv + "after sounds\n" + clsv + "after 29\n"},
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
// demo before it, whose server data set another protocol, changes neither. Keeping going (-k),
// the demo stops at the code byte of the command that raised the error, with its records up to
// there; the later demo is read and the log written, with exit code 2.
TEST_F(DemoDecodingTest, UnknownDataEndsTheRunOrItsDemo)
{
    const Bytes damaged = DemoWriter().block(serverData(34, 1).print(2, "damaged\n")).raw({0x01}).bytes();
    const Bytes later = demo({MessageWriter().print(2, "later\n")});
    write("a.dm2", damaged);
    write("c.dm2", later);
    const MessageWriter print = MessageWriter().print(2, "x\n");  // five bytes
    const std::string unknown = "KEST: Unknown demo format ";
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    // A block's first command is at byte 4; server data takes 25 bytes. The records kept
    // from b.dm2 are its header lines after its size and its message lines.
    const std::vector<std::tuple<Bytes, std::string, long long, std::string, std::string>> cases = {
        {demo({MessageWriter().command(0)}), unknown + "(this_id: 0x0 prev_id: 0x0)!", 4, "", ""},
        {demo({MessageWriter(print).command(0)}), unknown + "(this_id: 0x0 prev_id: 0xA)!", 9, "", clsv + "x\n"},
        {demo({MessageWriter(print).command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 0)!", 9, "", clsv + "x\n"},
        {demo({MessageWriter().command(0xFF)}), unknown + "(isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!", 4,
         "", ""},
        {demo({serverData(-7, 200).command(0x16)}),
         unknown + "(isdemo: 200 this_id: 0x16 prev_id: 0xC sv_version: -7)!", 29, "Map name: Level\n", ""},
        {demo({serverData(31, 0), print, MessageWriter(print).command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 31)!", 47, "Map name: Level\n",
         clsv + "x\n" + clsv + "x\n"},
        // The error comes before the data runs out: no damage.
        {DemoWriter().blockWithLength(100, MessageWriter(print).command(0).bytes()).bytes(),
         unknown + "(this_id: 0x0 prev_id: 0xA)!", 9, "", clsv + "x\n"},
        {demo({print, MessageWriter().command(3, Bytes(21, 30))}), "Unknown entity!", 13, "", clsv + "x\n"},
        {demo({MessageWriter().command(9, {0x08, 1, 0x08, 0x20})}), "Too many entities!", 4, "", ""},
    };
    const std::string damagedLines = reading("a.dm2") + warning("a.dm2", damaged.size() - 1);
    const std::string damagedLog = header("a.dm2", damaged.size()) + "Map name: Level\n\n" + clsv + "damaged\n\n";
    const std::string laterLog = header("c.dm2", later.size()) + "\n" + clsv + "later\n";
    // Damage alone leaves nothing out: keeping going, the run still ends with 0.
    EXPECT_EQ(completedLog({"-k", "a.dm2", "c.dm2"}, damagedLines + reading("c.dm2")), damagedLog + laterLog);
    for (const auto& [bytes, message, offset, headerLines, messages] : cases) {
        SCOPED_TRACE(message);
        write("b.dm2", bytes);
        const KestRun result = runKeepingLog({"a.dm2", "b.dm2", "c.dm2"});
        EXPECT_EQ(result.output, failed(damagedLines + reading("b.dm2"), message));
        EXPECT_EQ(result.exitCode, 1);

        const std::string stopped = header("b.dm2", bytes.size()) + headerLines +
                                    (messages.empty() ? "" : "\n" + messages + "\n");
        EXPECT_EQ(completedLog({"a.dm2", "b.dm2", "c.dm2", "-k"},
                               damagedLines + reading("b.dm2") + stopsWarning("b.dm2", offset, message) +
                                   reading("c.dm2"),
                               2),
                  damagedLog + stopped + laterLog);
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

// The sample deathmatch as a player's client and as the server recorded it gives the same lines
// but for their stamps (the player's connection blocks take time, the server data none): of
// each chat line that the server sends every client, kest keeps the copy to the recording's own.
TEST_F(DemoDecodingTest, SampleMatchGivesTheSameLinesInBothFormats)
{
    std::vector<std::string> texts;
    for (const std::string name : {"foundry-dm.dm2", "foundry-dm.mvd2"}) {
        const std::string bytes = readFile(fs::path(KEST_EXAMPLES_DIR) / name).value_or("");
        write(name, Bytes(bytes.begin(), bytes.end()));
        const std::string log = completedLog({name}, reading(name)).value_or("");
        const std::string head =
            header(name, bytes.size()) + "Map name: The Old Foundry\nMap filename: FOUNDRY.BSP\n\n";
        ASSERT_EQ(log.substr(0, head.size()), head);
        // Each message line without its "TIME: hh:mm:ss ".
        std::string lines;
        for (std::size_t at = head.size(), end; at < log.size(); at = end + 1) {
            end = log.find('\n', at);
            ASSERT_TRUE(end != std::string::npos && log.compare(at, 6, "TIME: ") == 0) << log.substr(at, 80);
            lines += log.substr(at + 15, end - at - 14);
        }
        texts.push_back(lines);
    }
    EXPECT_EQ(texts[1], texts[0]);
    EXPECT_NE(texts[1].find("CHAT: "), std::string::npos);
}

// The protocol-34 recordings, in byte order of their names.
const Arguments Protocol34Recordings = {
    "aqtion-bandaging-guide.dm2", "aqtion-doors-guide.dm2", "aqtion-jumping-guide.dm2",
    "libq2-test.dm2",             "libq2-testduel.dm2",     "qase-bot-q2dm1.dm2",
};

// The multi-view recordings, in byte order of their names.
const Arguments MultiViewRecordings = {"aqtion-asylum.mvd2.gz", "libq2-opentdm.mvd2"};

// Cut files read by one run of kest: a batch of the longest recording's cuts takes some 40 MB.
constexpr std::size_t CutsPerRun = 300;

// Whether a run over one changed recording ended in a defined way: read to its end, damaged at
// a byte inside it, or ended by one of the decoder's messages with values it can print. Those
// values are read back and the message made again from them, so nothing but the defined wording
// passes: codes in upper-case hexadecimal without leading zeros, a previous code below the
// frame's (the frame ends its block), an unknown code above it, and an attract-loop byte as isdemo.
bool endsInADefinedWay(const KestRun& run, const std::string& name, long long size)
{
    const std::string damaged = "\n" + reading(name) + "WARNING: Demofile " + name + " is damaged at byte ";
    const long long offset = std::atoll(run.output.c_str() + std::min(run.output.size(), damaged.size()));
    if (run.exitCode == 0)
        return run.output == completed(reading(name)) ||
               (offset >= 0 && offset < size && run.output == completed(reading(name) + warning(name, offset)));
    const std::size_t start = failed(reading(name), "").size() - 1;
    const std::string message = run.output.substr(std::min(start, run.output.size()), run.output.size() - start - 1);
    const char* const badCode = "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x%X)!";
    const char* const unknown = "KEST: Unknown demo format (isdemo: %d this_id: 0x%X prev_id: 0x%X sv_version: %d)!";
    unsigned thisId = 0x15, prevId = 0;
    int isdemo = 0, svVersion = 0;
    char remade[160] = "Unknown entity!";  // what a message of neither format must be
    if (std::sscanf(message.c_str(), unknown, &isdemo, &thisId, &prevId, &svVersion) == 4)
        std::snprintf(remade, sizeof remade, unknown, isdemo, thisId, prevId, svVersion);
    else if (std::sscanf(message.c_str(), badCode, &prevId) == 1)
        std::snprintf(remade, sizeof remade, badCode, prevId);
    else if (message == "Too many entities!")
        std::snprintf(remade, sizeof remade, "%s", message.c_str());
    return run.exitCode == 1 && run.output == failed(reading(name), remade) && isdemo >= 0 && isdemo <= 255 &&
           thisId > 0x14 && thisId <= 0xFF && prevId <= 0x13;
}

class RealRecordingCutsTest : public RealRecordingTest {
protected:
    // Cuts a recording after each of `cuts` bytes, in ascending order, and checks every cut against
    // the whole: a warning at the length field of the block the cut leaves unfinished (none on a
    // boundary), and messages that are a beginning of the whole log's, never fewer for a longer cut.
    // Each batch of cut files is read by one run and deleted before the next batch is written.
    void checkCuts(const std::string& name, const std::vector<std::size_t>& cuts) const
    {
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        ASSERT_FALSE(fields.empty());
        const std::string wholeMessages = expectedLog(name).substr(header(name, whole.size()).size());
        const auto cutName = [](std::size_t cut) { return "cut-" + std::to_string(10000000 + cut) + ".dm2"; };
        std::size_t previous = 0;  // the length of the previous cut's messages
        for (std::size_t first = 0; first < cuts.size() && !HasFailure(); first += CutsPerRun) {
            const std::size_t last = std::min(cuts.size(), first + CutsPerRun);
            std::string lines;
            for (std::size_t i = first; i < last; ++i) {
                std::ofstream(path(cutName(cuts[i])), std::ios::binary)
                    .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(cuts[i]));
                const std::size_t field = *std::prev(std::upper_bound(fields.begin(), fields.end(), cuts[i]));
                const bool unfinished = field != cuts[i] && cuts[i] < fields.back() + lengthWidth(whole);
                lines += reading(cutName(cuts[i])) + (unfinished ? warning(cutName(cuts[i]), field) : "");
            }
            const std::string log = completedLog({"cut-*.dm2"}, lines).value_or("");
            std::size_t at = 0;
            for (std::size_t i = first; i < last && !HasFailure(); ++i) {
                SCOPED_TRACE(cutName(cuts[i]));
                const std::string head = header(cutName(cuts[i]), cuts[i]);
                ASSERT_EQ(log.compare(at, head.size(), head), 0) << log.substr(at, 200);
                at += head.size();
                const std::size_t end = std::min(log.find("\nDemo filename: ", at - 1), log.size() - 1) + 1;
                std::string messages = log.substr(at, end - at);
                // Message lines are followed by the empty line that opens the next demo's header group.
                if (end < log.size() && messages.find("TIME: ") != std::string::npos) {
                    ASSERT_EQ(messages.substr(messages.size() - 2), "\n\n");
                    messages.pop_back();
                }
                EXPECT_EQ(wholeMessages.compare(0, messages.size(), messages), 0) << "not a beginning of the whole log";
                EXPECT_GE(messages.size(), previous) << "a longer cut lost lines";
                EXPECT_TRUE(cuts[i] != whole.size() || messages == wholeMessages);
                previous = messages.size();
                at = end;
                fs::remove(path(cutName(cuts[i])));
            }
        }
    }
};

TEST_F(RealRecordingTest, LogsMatchTheExpectedOnes)
{
    std::string lines;
    for (const std::string& name : Protocol34Recordings) {
        write(name, recording(name));
        EXPECT_EQ(completedLog({name}, reading(name)), expectedLog(name));
        lines += reading(name);
    }
    EXPECT_EQ(completedLog({"*.dm2"}, lines), expectedLog("all-good.dm2"));

    // The multi-view recordings as stored, alone and in one run with the others.
    std::string multiViewLines;
    std::string log;
    for (const std::string& name : MultiViewRecordings) {
        write(name, recording(name));
        EXPECT_EQ(completedLog({name}, reading(name)), expectedLog(name));
        multiViewLines += reading(name);
        log += expectedLog(name) + "\n";
    }
    EXPECT_EQ(completedLog({"*.mvd2*", "*.dm2"}, multiViewLines + lines), log + expectedLog("all-good.dm2"));

    write("mission64-demo1.dm2", recording("mission64-demo1.dm2"));
    const KestRun result = runKeepingLog({"mission64-demo1.dm2"});
    EXPECT_EQ(result.output,
              failed(reading("mission64-demo1.dm2"), "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xE)!"));
    EXPECT_EQ(result.exitCode, 1);
}

// The whole folder: the mod's recording ends the run after the first five of the others, or,
// keeping going, gives its header lines (its server data and map model come before the code
// byte 0 at 6256) and the others their own logs, in byte order of names.
TEST_F(RealRecordingTest, FolderWithTheModsRecording)
{
    const std::string mission64 = "mission64-demo1.dm2";
    const std::string notDecoded = "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xE)!";
    write(mission64, recording(mission64));
    std::string lines;
    std::string log;
    for (const std::string& name : Protocol34Recordings)
        write(name, recording(name));
    for (std::size_t i = 0; i < 5; ++i) {
        lines += reading(Protocol34Recordings[i]);
        log += expectedLog(Protocol34Recordings[i]) + "\n";
    }
    lines += reading(mission64);
    const KestRun result = runKeepingLog({"*.dm2"});
    EXPECT_EQ(result.output, failed(lines, notDecoded));
    EXPECT_EQ(result.exitCode, 1);

    lines += stopsWarning(mission64, 6256, notDecoded) + reading(Protocol34Recordings[5]);
    // It ends in header lines: no empty line parts them from the next demo's.
    log += header(mission64, recording(mission64).size()) +
           "Map name: Welcome to Mission 64\nMap filename: TITLEMAP.BSP\n" + expectedLog(Protocol34Recordings[5]);
    EXPECT_EQ(completedLog({"-k", "*.dm2"}, lines, 2), log);
}

TEST_F(RealRecordingCutsTest, CutAtEveryByte)
{
    std::vector<std::size_t> cuts(recording("libq2-test.dm2").size() + 1);
    std::iota(cuts.begin(), cuts.end(), 0);
    checkCuts("libq2-test.dm2", cuts);
}

// A multi-view recording cut at every block boundary, and one byte after every sixteenth.
TEST_F(RealRecordingCutsTest, MultiViewCutAtEveryBlockBoundary)
{
    const std::vector<std::size_t> fields = lengthFields(recording("libq2-opentdm.mvd2"));
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        cuts.push_back(fields[i]);
        if (i % 16 == 0)
            cuts.push_back(fields[i] + 1);
    }
    checkCuts("libq2-opentdm.mvd2", cuts);
}

TEST_F(RealRecordingCutsTest, CutAroundEveryBlockBoundary)
{
    const Bytes whole = recording("libq2-testduel.dm2");
    std::set<std::size_t> cuts = {whole.size()};
    for (const std::size_t field : lengthFields(whole))
        for (std::size_t cut = std::max<std::size_t>(field, 3) - 3; cut <= std::min(field + 3, whole.size()); ++cut)
            cuts.insert(cut);
    checkCuts("libq2-testduel.dm2", std::vector<std::size_t>(cuts.begin(), cuts.end()));
}

// Copies of the recordings with one length field or one block's first command byte changed.
// A negative length ends a recording right at its field; a frame code hides just its block
// (but for the first block, whose server data the others need); an unknown code ends the run
// with its exact message. Copies that complete are read in one run, the others each in a run of
// its own. Other changes send the walk anywhere: such a copy must still end in a defined way.
TEST_F(RealRecordingTest, ChangedLengthFieldsAndCommandCodes)
{
    enum Field : std::size_t { Length = 0, Code = 4 };  // where in its block a change is made
    const std::string Open = "any defined way";
    Arguments completing;
    std::string completingLines;
    for (const std::string& name : Protocol34Recordings) {
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const std::size_t blocks = fields.size() - 1;
        const bool small = name == "libq2-test.dm2";
        // A copy with the block's length field or first command byte set to `value`, low byte first.
        const auto check = [&](std::size_t block, Field field, std::int64_t value, const std::string& ending) {
            Bytes bytes = whole;
            const std::size_t offset = fields[block] + field;
            for (std::size_t i = 0; i < (field == Length ? 4 : 1); ++i)
                bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
            // Copies that complete are kept for their run; each other one is read at once.
            const std::string copy = (ending.empty() ? std::to_string(10000 + completing.size()) : "one") + "-" + name;
            write(copy, bytes);
            if (ending.empty()) {
                completing.push_back(copy);
                completingLines += reading(copy) + (field == Length ? warning(copy, offset) : "");
                return;
            }
            SCOPED_TRACE(copy + ": " + ending);
            const KestRun result = run({copy});
            EXPECT_TRUE(ending == Open ? endsInADefinedWay(result, copy, bytes.size())
                                       : result.output == failed(reading(copy), ending) && result.exitCode == 1)
                << result.output;
        };
        for (std::size_t block = 0; block < blocks; ++block) {
            if (!small && block >= 4 && block % (blocks / 8) != 0)
                continue;
            for (const std::int64_t length : {-2LL, -5LL, -0x80000000LL})
                check(block, Length, length, "");
            check(block, Code, 20, block == 0 ? Open : "");
        }
        check(1, Code, 0x15, "KEST: Unknown demo format (isdemo: 1 this_id: 0x15 prev_id: 0x0 sv_version: 34)!");
        if (!small)
            continue;
        check(0, Code, 0x00, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!");
        check(1, Code, 0x00, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!");
        check(0, Code, 0xFF, "KEST: Unknown demo format (isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!");
        for (const std::size_t block : {std::size_t{0}, blocks - 1}) {
            const auto oneTooMany = static_cast<std::int64_t>(fields[block + 1] - fields[block] - 3);
            for (const std::int64_t length : {std::int64_t{0}, std::int64_t{3}, oneTooMany, std::int64_t{0x7FFFFFFF}})
                check(block, Length, length, Open);
            for (const std::int64_t code : {3, 6, 10, 18})
                check(block, Code, code, Open);
        }
    }
    completedLog(completing, completingLines);
}

// Compressed, the recordings give the logs of the plain ones but for their names and sizes, and
// the one of another protocol ends the run with the same error.
TEST_F(RealRecordingTest, CompressedRecordingsGiveTheLogsOfThePlainOnes)
{
    std::string lines;
    std::string log = expectedLog("all-good.dm2");
    for (const std::string& name : Protocol34Recordings) {
        const Bytes plain = recording(name);
        const Bytes compressed = gzip_writer::gzip(plain);
        write(name + ".gz", compressed);
        lines += reading(name + ".gz");
        const std::string plainHeader = header(name, plain.size());
        const std::size_t at = log.find(plainHeader);
        ASSERT_NE(at, std::string::npos) << name;
        log.replace(at, plainHeader.size(), header(name + ".gz", compressed.size()));
    }
    EXPECT_EQ(completedLog({"*.dm2.gz"}, lines), log);

    write("mission64-demo1.dm2.gz", gzip_writer::gzip(recording("mission64-demo1.dm2")));
    const KestRun result = runKeepingLog({"mission64-demo1.dm2.gz"});
    EXPECT_EQ(result.output, failed(reading("mission64-demo1.dm2.gz"),
                                    "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xE)!"));
    EXPECT_EQ(result.exitCode, 1);
}

// Compressed data that ends inside a block halfway through a recording is damaged where the
// plain recording cut there is, at an offset in the data far past the compressed file's size.
TEST_F(RealRecordingCutsTest, CompressedRecordingCutShortWarnsAsThePlainCut)
{
    const Bytes whole = recording("libq2-testduel.dm2");
    const std::vector<std::size_t> fields = lengthFields(whole);
    const std::size_t field = fields[fields.size() / 2];
    const auto cut = whole.begin() + static_cast<std::ptrdiff_t>(field + 7);
    const gzip_writer::GzipMember member = gzip_writer::gzipPieces({Bytes(whole.begin(), cut), Bytes(cut, whole.end())});
    const Bytes compressed(member.bytes.begin(), member.bytes.begin() + static_cast<std::ptrdiff_t>(member.pieceEnds[0]));
    ASSERT_LT(compressed.size(), field);
    write("cut.dm2", Bytes(whole.begin(), cut));
    write("cut.dm2.gz", compressed);
    const std::string plainLog = completedLog({"cut.dm2"}, reading("cut.dm2") + warning("cut.dm2", field)).value_or("");
    const std::string compressedLog =
        completedLog({"cut.dm2.gz"}, reading("cut.dm2.gz") + warning("cut.dm2.gz", field)).value_or("");
    const std::string plainHeader = header("cut.dm2", field + 7);
    ASSERT_EQ(plainLog.compare(0, plainHeader.size(), plainHeader), 0);
    EXPECT_EQ(compressedLog, header("cut.dm2.gz", compressed.size()) + plainLog.substr(plainHeader.size()));
    EXPECT_NE(plainLog.find("TIME: "), std::string::npos);
}

}  // namespace
}  // namespace kest::e2e
