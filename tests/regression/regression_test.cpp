// Every input the fuzzer ever tripped on, and every seed it starts from, goes
// through the fuzz target's round trip again here, under the ordinary test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "demo_round_trip.h"

namespace {

namespace fs = std::filesystem;
using kest::fuzzing::RoundTrip;

// The folder's files in name order, so that the test names stay put.
std::vector<fs::path> demosIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> readDemo(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string testName(const testing::TestParamInfo<fs::path>& info)
{
    std::string name = info.param.filename().string();
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

std::string brokenInvariants(const RoundTrip& trip)
{
    std::string text;
    for (const std::string& invariant : trip.brokenInvariants)
        text += "\n  broken: " + invariant;
    return text;
}

RoundTrip replay(const std::vector<std::uint8_t>& demo)
{
    return kest::fuzzing::runRoundTrip(demo.data(), demo.size());
}

std::size_t occurrences(std::string_view text, std::string_view word)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

class FuzzFinding : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzFinding, KeepsEveryInvariant)
{
    const RoundTrip trip = replay(readDemo(GetParam()));
    EXPECT_TRUE(trip.brokenInvariants.empty()) << GetParam() << brokenInvariants(trip);
}

INSTANTIATE_TEST_SUITE_P(Regressions, FuzzFinding, testing::ValuesIn(demosIn(KEST_FUZZ_REGRESSIONS_DIR)), testName);

// The seeds are well-formed demos: one that failed or looked damaged would
// show a payload stepped over with the wrong width. Behind each command under
// test stands the print "seed ok", which only a parser that landed on it exactly
// brings into the log.
class FuzzSeed : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzSeed, DecodesWithoutErrorOrDamage)
{
    const std::vector<std::uint8_t> demo = readDemo(GetParam());
    const RoundTrip trip = replay(demo);
    EXPECT_TRUE(trip.brokenInvariants.empty()) << GetParam() << brokenInvariants(trip);
    EXPECT_EQ(trip.fatalError, std::nullopt) << GetParam();
    EXPECT_FALSE(trip.damage.has_value()) << GetParam() << " damaged at byte " << trip.damage.value_or(kest::DemoDamage{}).offset;
    const std::string_view bytes(reinterpret_cast<const char*>(demo.data()), demo.size());
    EXPECT_EQ(occurrences(trip.log, "CLSV: seed ok\n"), occurrences(bytes, "seed ok\n")) << GetParam() << "\n" << trip.log;
}

INSTANTIATE_TEST_SUITE_P(Corpus, FuzzSeed, testing::ValuesIn(demosIn(KEST_FUZZ_CORPUS_DIR)), testName);

}  // namespace
