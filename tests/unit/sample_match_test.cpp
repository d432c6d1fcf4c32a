// The sample matches that the benchmarks' corpora are made of: recorded a
// block at a time, stopped at a byte budget, played without a time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "demo/demo_parser.h"
#include "log/message_list.h"
#include "sample_match/sample_match.h"

namespace {

using kest::demo_writer::Bytes;
using kest::sample_match::Match;

Match duel(int timeLimitMinutes, std::uint64_t recordingBytes)
{
    Match match;
    match.levelName = "Cistern of Echoes";
    match.mapName = "cistern";
    match.players = {{"Tarn", "male/grunt", 0, 0}, {"Sable", "female/athena", 3, 0}};
    match.timeLimitMinutes = timeLimitMinutes;
    match.recordingBytes = recordingBytes;
    match.seed = 7;
    return match;
}

class BlockCollector final : public kest::sample_match::DemoSink {
public:
    void write(const Bytes& bytes) override { writes.push_back(bytes); }
    std::vector<Bytes> writes;
};

std::int32_t lengthField(const Bytes& bytes)
{
    return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The texts kest collects from the demo; damage, if any, fails the test.
std::vector<std::string> decodedTexts(const Bytes& demo)
{
    kest::MessageList list;
    kest::MemorySource source(demo.data(), demo.size());
    kest::DemoWindow window;
    window.open(source);
    EXPECT_FALSE(kest::DemoParser(window).run(list).has_value());
    std::vector<std::string> texts;
    for (const kest::MessageRecord* record = list.first(); record != nullptr; record = list.next())
        texts.push_back(record->text);
    return texts;
}

TEST(SampleMatchTest, StreamedAWholeBlockAtATimeAsTheMatchIsRecorded)
{
    const Match match = duel(1, 0);
    BlockCollector sink;
    kest::sample_match::recordMatch(match, sink);

    Bytes streamed;
    for (const Bytes& write : sink.writes) {
        ASSERT_GE(write.size(), 4u);
        const bool endMarker = &write == &sink.writes.back();
        EXPECT_EQ(lengthField(write), endMarker ? -1 : static_cast<std::int32_t>(write.size() - 4));
        streamed.insert(streamed.end(), write.begin(), write.end());
    }
    EXPECT_EQ(streamed, kest::sample_match::recordMatch(match));
}

TEST(SampleMatchTest, RecordingStopsAfterTheFrameThatReachesItsBudget)
{
    for (const std::uint64_t budget : {6'000u, 40'000u, 150'000u}) {
        SCOPED_TRACE(budget);
        BlockCollector sink;
        kest::sample_match::recordMatch(duel(0, budget), sink);
        std::uint64_t beforeLastBlock = 0;
        for (std::size_t block = 0; block + 2 < sink.writes.size(); ++block)
            beforeLastBlock += sink.writes[block].size();
        const std::uint64_t recorded = beforeLastBlock + sink.writes[sink.writes.size() - 2].size();
        EXPECT_LT(beforeLastBlock, budget);
        EXPECT_GE(recorded, budget);
        EXPECT_EQ(lengthField(sink.writes.back()), -1);
    }
}

TEST(SampleMatchTest, TimeLimitEndsTheMatchUnlessItIsZero)
{
    const struct {
        int timeLimitMinutes;
        bool timelimitHit;
    } cases[] = {{1, true}, {0, false}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.timeLimitMinutes);
        // A minute of a duel comes to far less than the budget.
        const std::vector<std::string> texts =
            decodedTexts(kest::sample_match::recordMatch(duel(row.timeLimitMinutes, 200'000)));
        const bool hit = std::find(texts.begin(), texts.end(), "Timelimit hit.\n") != texts.end();
        EXPECT_EQ(hit, row.timelimitHit);
        EXPECT_EQ(texts.front(), "Cistern of Echoes");
    }
}

}  // namespace
