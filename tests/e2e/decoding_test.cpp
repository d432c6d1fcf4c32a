// Decoding made-up demos end to end, plain and compressed: damage, which ends a demo quietly
// where its data ends, and unknown data, which ends the whole run.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>

#include "gzip_writer/gzip_writer.h"
#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using DemoDecodingTest = KestTest;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// Where `text` first stands in `bytes`.
std::size_t find(const Bytes& bytes, const std::string& text)
{
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) - bytes.begin());
}

// Data that ends where more was promised is damage: the demo ends at the length field or
// command where its data ran out, with what came before it. The walk goes by lengths alone.
// A file that starts with gzip's magic is read as the bytes it inflates to, up to its end or
// its first fault, whatever its name; its name and size stay the file's own.
TEST_F(DemoDecodingTest, DamagedDemoEndsWhereItsDataEnds)
{
    const auto print = [](const std::string& text) { return MessageWriter().print(2, text + "\n"); };
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    const std::string before = clsv + "before\n";
    const Bytes first = DemoWriter().block(print("before")).bytes();  // fourteen bytes
    const auto after = [&](const DemoWriter& rest) { return first + rest.bytes(); };
    const Bytes second = DemoWriter().block(print("second")).bytes();
    const Bytes third = DemoWriter().block(print("third")).endMarker().bytes();
    const Bytes whole = first + second + third;
    const std::string all = before + clsv + "second\n" + clsv + "third\n";
    const std::size_t midSecond = first.size() + 6;
    const gzip_writer::GzipMember byBlock = gzip_writer::gzipPieces({first, second, third});
    const Bytes stored = gzip_writer::gzip(whole, 0);
    Bytes checksumOnly = stored;
    checksumOnly[find(checksumOnly, "third")] = 'T';
    gzip_writer::GzipMember rejected = gzip_writer::gzipPieces({slice(whole, 0, midSecond), slice(whole, midSecond, whole.size())});
    rejected.bytes[rejected.pieceEnds[0]] |= 0x06;  // a block type that does not exist
    // The file's name and bytes; where kest must say the damage starts (-1 for nowhere); the log's message lines.
    const std::vector<std::tuple<const char*, std::string, Bytes, long long, std::string>> cases = {
        {"OneByteWhereALengthShouldBe", "tested.dm2", after(DemoWriter().raw({0x01})), 14, before},
        {"ThreeBytesWhereALengthShouldBe", "tested.dm2", after(DemoWriter().raw({0xFF, 0xFF, 0xFF})), 14, before},
        {"LengthMinusTwo", "tested.dm2", after(DemoWriter().blockWithLength(-2, {}).block(Bytes{0}).endMarker()), 14,
         before},
        {"LengthMinimum", "tested.dm2",
         after(DemoWriter().blockWithLength(std::numeric_limits<std::int32_t>::min(), {0})), 14, before},
        {"LengthPastTheEnd", "tested.dm2", after(DemoWriter().blockWithLength(100, print("inside").bytes())), 14,
         before + clsv + "inside\n"},
        {"PrintWithoutItsTerminator", "tested.dm2", after(DemoWriter().block(Bytes{0x0A, 0x02, 'a', 'b'})), 18, before},
        {"CutCommandAfterAWholeOne", "tested.dm2", after(DemoWriter().block(print("kept").raw({0x0A, 0x03, 'x'}))), 26,
         before + clsv + "kept\n"},
        {"PayloadPastTheFile", "tested.dm2",
         after(DemoWriter().block(MessageWriter().command(5, {1, 0, 2, 0})).block(print("x"))), 18, before},
        {"EntityListWithoutItsEnd", "tested.dm2", after(DemoWriter().block(MessageWriter().command(18, {0x00, 0x05}))),
         18, before},
        {"FarIntoTheFile", "tested.dm2",
         after(DemoWriter().block(MessageWriter().layout(std::string(70000, 'x'))).raw({1})), 70020, before},
        {"NoEndMarker", "tested.dm2", first, -1, before},
        // The print's text runs on into the next block's length field, whose zero byte ends it.
        {"PayloadPastItsBlockEnd", "tested.dm2",
         after(DemoWriter().blockWithLength(3, {0x0A, 0x02, 'x'}).block(print("next")).endMarker()), -1,
         before + clsv + "x\x08\n" + clsv + "next\n"},
        // Bytes after the end marker are not read.
        {"EmptyBlocksCount", "tested.dm2", after(DemoWriter().raw(Bytes(40, 0)).block(print("b12")).endMarker().raw({9})),
         -1, before + "TIME: 00:00:01 CLSV: b12\n"},
        // The second block's frame hides a print of "y" behind it.
        {"FrameEndsItsBlock", "tested.dm2",
         after(DemoWriter().block(print("x").frame().command(0)).block(Bytes{20, 10, 2, 'y', 0})), -1,
         before + clsv + "x\n"},
        // Fields filled with the frame code: one stepped over short ends the block before the print.
        // The largest entity word a sound may carry is 8199; the largest temporary-entity type is 29.
        {"SoundsAndTemporaryEntity", "tested.dm2",
         after(DemoWriter().block(MessageWriter().command(9, {0x1F, 1, 2, 3, 4, 0x07, 0x20, 20, 20, 20, 20, 20, 20})
                                      .command(9, {0xE8, 1, 0x00, 0x20}).command(9, {0x00, 1}).print(2, "after sounds\n")
                                      .command(3, {29, 20, 20, 20, 20, 20, 20, 20, 20, 20}).print(2, "after 29\n"))),
         -1, before + clsv + "after sounds\n" + clsv + "after 29\n"},
        {"Compressed", "tested.dm2.gz", gzip_writer::gzip(whole), -1, all},
        {"TwoMembersInARow", "tested.dm2.gz",
         gzip_writer::gzip(slice(whole, 0, midSecond)) + gzip_writer::gzip(slice(whole, midSecond, whole.size())), -1,
         all},
        {"CutInsideTheDeflateData", "tested.dm2.gz", slice(stored, 0, find(stored, "second") + 3),
         static_cast<long long>(first.size()), before},
        {"CutInsideTheTrailer", "tested.dm2.gz", slice(gzip_writer::gzip(whole), 0, gzip_writer::gzip(whole).size() - 3),
         -1, all},
        {"CutAtABlockBoundaryOfTheData", "tested.dm2.gz", slice(byBlock.bytes, 0, byBlock.pieceEnds[1]), -1,
         before + clsv + "second\n"},
        {"ByteThatInflateRejects", "tested.dm2.gz", rejected.bytes, static_cast<long long>(first.size()), before},
        // The changed byte is inflated before the checksum shows it changed.
        {"ByteOnlyTheChecksumCatches", "tested.dm2.gz", checksumOnly, -1, before + clsv + "second\n" + clsv + "Third\n"},
        // No data, as in an empty file: the header lines alone.
        {"MagicAlone", "tested.dm2.gz", {0x1F, 0x8B, 0x08}, -1, ""},
        {"Renamed", "tested.dm2", gzip_writer::gzip(whole), -1, all},
        {"PlainNamedAsCompressed", "tested.dm2.gz", whole, -1, all},
    };
    const Bytes good = demoOf({print("good")});
    write("good.dm2", good);
    for (const auto& [label, name, bytes, damagedAt, messages] : cases) {
        SCOPED_TRACE(label);
        write(name, bytes);
        const std::string warned = damagedAt < 0 ? "" : warning(name, damagedAt);
        EXPECT_EQ(completedLog({name, "good.dm2"}, reading(name) + warned + reading("good.dm2")),
                  header(name, bytes.size()) + (messages.empty() ? "" : "\n" + messages + "\n") +
                      header("good.dm2", good.size()) + "\n" + clsv + "good\n");
        fs::remove(path(name));
    }
}

// The run ends at the unknown data: no later demo is read, no log written or changed. A damaged
// demo before it, whose server data set another protocol, changes neither. Keeping going (-k),
// the demo stops at the code byte of the command that raised the error, with its records up to
// there; the later demo is read and the log written, with exit code 2.
TEST_F(DemoDecodingTest, UnknownDataEndsTheRunOrItsDemo)
{
    const Bytes damaged = DemoWriter().block(serverData(34, 1).print(2, "damaged\n")).raw({0x01}).bytes();
    const Bytes later = demoOf({MessageWriter().print(2, "later\n")});
    write("a.dm2", damaged);
    write("c.dm2", later);
    const MessageWriter print = MessageWriter().print(2, "x\n");  // five bytes
    const std::string unknown = "KEST: Unknown demo format ";
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    // A block's first command is at byte 4; server data takes 25 bytes. The records kept
    // from b.dm2 are its header lines after its size and its message lines.
    const std::vector<std::tuple<Bytes, std::string, long long, std::string, std::string>> cases = {
        {demoOf({MessageWriter().command(0)}), unknown + "(this_id: 0x0 prev_id: 0x0)!", 4, "", ""},
        {demoOf({MessageWriter(print).command(0)}), unknown + "(this_id: 0x0 prev_id: 0xA)!", 9, "", clsv + "x\n"},
        {demoOf({MessageWriter(print).command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 0)!", 9, "", clsv + "x\n"},
        {demoOf({MessageWriter().command(0xFF)}), unknown + "(isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!", 4,
         "", ""},
        {demoOf({serverData(-7, 200).command(0x16)}),
         unknown + "(isdemo: 200 this_id: 0x16 prev_id: 0xC sv_version: -7)!", 29, "Map name: Level\n", ""},
        {demoOf({serverData(31, 0), print, MessageWriter(print).command(0x15)}),
         unknown + "(isdemo: 1 this_id: 0x15 prev_id: 0xA sv_version: 31)!", 47, "Map name: Level\n",
         clsv + "x\n" + clsv + "x\n"},
        // The error comes before the data runs out: no damage.
        {DemoWriter().blockWithLength(100, MessageWriter(print).command(0).bytes()).bytes(),
         unknown + "(this_id: 0x0 prev_id: 0xA)!", 9, "", clsv + "x\n"},
        {demoOf({print, MessageWriter().command(3, Bytes(21, 30))}), "Unknown entity!", 13, "", clsv + "x\n"},
        {demoOf({MessageWriter().command(9, {0x08, 1, 0x08, 0x20})}), "Too many entities!", 4, "", ""},
        // Compressed, at the offset in the data it inflates to.
        {gzip_writer::gzip(demoOf({MessageWriter(print).command(0)})), unknown + "(this_id: 0x0 prev_id: 0xA)!", 9, "",
         clsv + "x\n"},
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
        const Bytes bytes = protocol == 0 ? demoOf({download}) : demoOf({serverData(protocol, 0), download});
        write(name, bytes);
        lines += reading(name);
        log += (log.empty() ? "" : "\n") + header(name, bytes.size()) + (protocol == 0 ? "" : "Map name: Level\n") +
               (dataReadAsPrint ? "\nTIME: 00:00:00 CLSV: \n" : "\n") + "TIME: 00:00:00 CLSV: after\n";
    }
    EXPECT_EQ(completedLog({"?.dm2"}, lines), log);
}

}  // namespace
}  // namespace kest::e2e
