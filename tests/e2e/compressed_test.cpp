// Compressed demos end to end: a file that starts with gzip's magic is read as the
// bytes it inflates to, up to its end or its first fault, and those bytes are decoded
// as a plain demo of them would be; its name and size stay the file's own.

#include <algorithm>
#include <tuple>

#include "gzip_writer/gzip_writer.h"
#include "kest_fixture.h"

namespace kest::e2e {
namespace {

using gzip_writer::gzip;
using gzip_writer::gzipPieces;

using CompressedDemoTest = KestTest;

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

TEST_F(CompressedDemoTest, ReadAsTheDemoTheyInflateTo)
{
    const auto print = [](const std::string& text) { return MessageWriter().print(2, text + "\n"); };
    const std::string clsv = "TIME: 00:00:00 CLSV: ";
    const Bytes first = DemoWriter().block(print("first")).bytes();
    const Bytes second = DemoWriter().block(print("second")).bytes();
    const Bytes rest = DemoWriter().block(print("third")).endMarker().bytes();
    const Bytes whole = first + second + rest;
    const std::string all = clsv + "first\n" + clsv + "second\n" + clsv + "third\n";
    const std::size_t midSecond = first.size() + 6;

    const gzip_writer::GzipMember byBlock = gzipPieces({first, second, rest});
    const Bytes stored = gzip(whole, 0);
    Bytes checksumOnly = stored;
    checksumOnly[find(checksumOnly, "third")] = 'T';
    gzip_writer::GzipMember rejected = gzipPieces({slice(whole, 0, midSecond), slice(whole, midSecond, whole.size())});
    rejected.bytes[rejected.pieceEnds[0]] |= 0x06;  // a block type that does not exist

    // The file's name and bytes; where the data is damaged (-1 for nowhere); the log's message lines.
    const std::vector<std::tuple<const char*, std::string, Bytes, long long, std::string>> cases = {
        {"Compressed", "tested.dm2.gz", gzip(whole), -1, all},
        {"TwoMembersInARow", "tested.dm2.gz", gzip(slice(whole, 0, midSecond)) + gzip(slice(whole, midSecond, whole.size())),
         -1, all},
        {"CutInsideTheDeflateData", "tested.dm2.gz", slice(stored, 0, find(stored, "second") + 3),
         static_cast<long long>(first.size()), clsv + "first\n"},
        {"CutInsideTheTrailer", "tested.dm2.gz", slice(gzip(whole), 0, gzip(whole).size() - 3), -1, all},
        {"CutAtABlockBoundaryOfTheData", "tested.dm2.gz", slice(byBlock.bytes, 0, byBlock.pieceEnds[1]), -1,
         clsv + "first\n" + clsv + "second\n"},
        {"ByteThatInflateRejects", "tested.dm2.gz", rejected.bytes, static_cast<long long>(first.size()),
         clsv + "first\n"},
        // The changed byte is inflated before the checksum shows it changed.
        {"ByteOnlyTheChecksumCatches", "tested.dm2.gz", checksumOnly, -1,
         clsv + "first\n" + clsv + "second\n" + clsv + "Third\n"},
        // No data, as in an empty file: the header lines alone.
        {"MagicAlone", "tested.dm2.gz", {0x1F, 0x8B, 0x08}, -1, ""},
        {"Renamed", "tested.dm2", gzip(whole), -1, all},
        {"PlainNamedAsCompressed", "tested.dm2.gz", whole, -1, all},
    };
    const Bytes good = DemoWriter().block(print("good")).endMarker().bytes();
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

// Compressed data that holds an unknown command ends the run as a plain demo's does.
TEST_F(CompressedDemoTest, UnknownDataEndsTheRun)
{
    write("a.dm2.gz", gzip(demo({MessageWriter().print(2, "x\n").command(0)})));
    const KestRun result = runKeepingLog({"*.dm2*"});
    EXPECT_EQ(result.output, failed(reading("a.dm2.gz"), "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xA)!"));
    EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
}  // namespace kest::e2e
