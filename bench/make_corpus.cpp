// Writes the corpora that bench/vs_cat.sh times kest over: made-up matches
// recorded as a player's client records them (prints and config strings
// before each frame command; player and entity deltas behind it, then sounds,
// temporary entities and muzzle flashes; a frag or chat line every few seconds).
// The same seed writes the same bytes.
//     make_corpus FOLDER [--seed N] [--long COUNT] [--long-bytes BYTES]
//                        [--archive COUNT] [--huge-bytes BYTES]
// FOLDER/long:      COUNT (100) sessions of BYTES (10,000,000) each, two to
//                   eight players, the recording stopped at that size;
// FOLDER/archive:   COUNT (10,000) short recordings of 30 to 60 KB;
// FOLDER/huge:      huge-00001.dm2, BYTES (4,400,000,000: past what 32 bits
//                   count; 0 for none) of eight-player matches back to back,
//                   as a server records map after map into one file.
// A corpus whose count is 0 is not written.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "sample_match/sample_match.h"

namespace {

using kest::sample_match::Match;

const char* const Names[] = {"Ash", "Birch", "Cedar", "Elm", "Fir", "Hazel", "Larch", "Oak", "Rowan", "Yew",
                             "Alder", "Aspen", "Beech", "Holly", "Juniper", "Maple", "Sorrel", "Thorn"};
const char* const Skins[] = {"male/grunt", "male/viper", "female/athena", "female/jezebel", "male/razor",
                             "female/venus", "male/claymore"};
const char* const Maps[][2] = {{"foundry", "The Old Foundry"},
                               {"cistern", "Cistern of Echoes"},
                               {"kiln", "Kiln Yard"},
                               {"spire", "Broken Spire"},
                               {"quarry", "Flooded Quarry"},
                               {"vault", "The Counting Vault"}};

// splitmix64 over the seed, the corpus and the demo's number: each demo's
// parameters depend on nothing else, so any one of them can be made again.
class Draw {
public:
    Draw(std::uint64_t seed, std::uint64_t corpus, std::uint64_t index)
        : state_(seed ^ corpus * 0xD1B54A32D192ED03u ^ index * 0x9E3779B97F4A7C15u)
    {
    }

    std::uint64_t next()
    {
        std::uint64_t value = (state_ += 0x9E3779B97F4A7C15u);
        value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9u;
        value = (value ^ (value >> 27)) * 0x94D049BB133111EBu;
        return value ^ (value >> 31);
    }
    int between(int low, int high) { return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1)); }
    template <typename Items>
    const auto& pick(const Items& items)
    {
        return items[next() % std::size(items)];
    }

private:
    std::uint64_t state_;
};

enum class Corpus : std::uint64_t { Long = 1, Archive = 2, Huge = 3 };

// Players join in the first minute; in a long session some leave later.
Match playersOnAMap(Draw& draw, int players, int leaveAfterSecond)
{
    Match match;
    const auto& map = draw.pick(Maps);
    match.mapName = map[0];
    match.levelName = map[1];
    const std::size_t firstName = draw.next() % std::size(Names);
    for (int player = 0; player < players; ++player) {
        const int joinSecond = player == 0 ? 0 : draw.between(0, 60);
        const int leaveSecond = player > 0 && leaveAfterSecond > 0 && draw.between(0, 3) == 0
                                    ? draw.between(leaveAfterSecond, 2 * leaveAfterSecond)
                                    : 0;
        match.players.push_back({Names[(firstName + static_cast<std::size_t>(player)) % std::size(Names)],
                                 draw.pick(Skins), joinSecond, leaveSecond});
    }
    match.seed = draw.next();
    return match;
}

// A long server session without a time limit, recorded until it reaches `bytes`.
Match session(Draw& draw, int players, std::uint64_t bytes)
{
    Match match = playersOnAMap(draw, players, 600);
    match.timeLimitMinutes = 0;
    match.recordingBytes = bytes;
    return match;
}

// A short clip: a few minutes of a match, stopped at 30 to 60 KB.
Match clip(Draw& draw)
{
    Match match = playersOnAMap(draw, draw.between(2, 8), 0);
    match.timeLimitMinutes = draw.between(2, 5);
    match.recordingBytes = static_cast<std::uint64_t>(draw.between(30 * 1024, 59 * 1024));
    return match;
}

class FileSink final : public kest::sample_match::DemoSink {
public:
    explicit FileSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb"))
    {
        if (file_ != nullptr)
            std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~FileSink() override
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }

    void write(const kest::demo_writer::Bytes& bytes) override
    {
        if (file_ != nullptr)
            std::fwrite(bytes.data(), 1, bytes.size(), file_);
        bytes_ += bytes.size();
    }
    // Closes the file; false if it could not be written whole.
    bool close()
    {
        if (file_ == nullptr)
            return false;
        const bool written = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return written && closed;
    }
    std::uint64_t bytes() const { return bytes_; }

private:
    std::FILE* file_;
    std::uint64_t bytes_ = 0;
};

bool closeAndCount(FileSink& sink, const std::string& path, std::uint64_t& total)
{
    if (!sink.close()) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
        return false;
    }
    total += sink.bytes();
    return true;
}

// Records the match into the file and adds its size to `total`; false if it could not be written.
bool record(const Match& match, const std::string& path, std::uint64_t& total)
{
    FileSink sink(path);
    kest::sample_match::recordMatch(match, sink);
    return closeAndCount(sink, path, total);
}

// Playing out gigabytes would take an hour, so a few whole matches are played
// once and written again and again, each without its end marker, until the
// file holds `bytes`; then the end marker. Each repeat starts with its server
// data and ends with the change of level, as on a server that records all day.
bool recordBackToBack(Draw& draw, std::uint64_t bytes, const std::string& path, std::uint64_t& total)
{
    constexpr int Matches = 8;
    constexpr std::size_t EndMarker = 4;
    std::vector<kest::demo_writer::Bytes> matches;
    for (int match = 0; match < Matches; ++match) {
        Match played = playersOnAMap(draw, 8, 0);
        played.timeLimitMinutes = draw.between(15, 30);
        matches.push_back(kest::sample_match::recordMatch(played));
        matches.back().resize(matches.back().size() - EndMarker);
    }
    FileSink sink(path);
    for (std::size_t next = 0; sink.bytes() < bytes; next = (next + 1) % matches.size())
        sink.write(matches[next]);
    sink.write(kest::demo_writer::DemoWriter().endMarker().bytes());
    return closeAndCount(sink, path, total);
}

struct Options {
    std::string folder;
    std::uint64_t seed = 1;
    unsigned longCount = 100;
    std::uint64_t longBytes = 10'000'000;
    unsigned archiveCount = 10'000;
    std::uint64_t hugeBytes = 4'400'000'000;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int at = 1; at < argc; ++at) {
        const std::string argument = argv[at];
        if (argument.rfind("--", 0) != 0) {
            if (!options.folder.empty())
                return false;
            options.folder = argument;
            continue;
        }
        if (at + 1 == argc)
            return false;
        char* end = nullptr;
        const std::uint64_t value = std::strtoull(argv[++at], &end, 10);
        if (end == argv[at] || *end != '\0')
            return false;
        if (argument == "--seed")
            options.seed = value;
        else if (argument == "--long")
            options.longCount = static_cast<unsigned>(value);
        else if (argument == "--long-bytes")
            options.longBytes = value;
        else if (argument == "--archive")
            options.archiveCount = static_cast<unsigned>(value);
        else if (argument == "--huge-bytes")
            options.hugeBytes = value;
        else
            return false;
    }
    return !options.folder.empty();
}

// Writes `count` demos named SUBFOLDER-NNNNN.dm2 into FOLDER/SUBFOLDER, demo i by `write(draw, path, total)`.
template <typename WriteDemo>
bool writeCorpus(const Options& options, Corpus corpus, const char* subfolder, unsigned count, WriteDemo write)
{
    if (count == 0)
        return true;
    const std::string folder = options.folder + "/" + subfolder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::uint64_t total = 0;
    for (unsigned index = 1; index <= count; ++index) {
        Draw draw(options.seed, static_cast<std::uint64_t>(corpus), index);
        char name[64];
        std::snprintf(name, sizeof name, "/%s-%05u.dm2", subfolder, index);
        if (!write(draw, folder + name, total))
            return false;
    }
    std::printf("%s: %u demos, %" PRIu64 " bytes\n", subfolder, count, total);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: make_corpus FOLDER [--seed N] [--long COUNT] [--long-bytes BYTES] [--archive COUNT] "
                     "[--huge-bytes BYTES]\n");
        return 2;
    }
    using Total = std::uint64_t;
    const bool written =
        writeCorpus(options, Corpus::Long, "long", options.longCount,
                    [&](Draw& draw, const std::string& path, Total& total) {
                        return record(session(draw, draw.between(2, 8), options.longBytes), path, total);
                    }) &&
        writeCorpus(options, Corpus::Archive, "archive", options.archiveCount,
                    [](Draw& draw, const std::string& path, Total& total) { return record(clip(draw), path, total); }) &&
        writeCorpus(options, Corpus::Huge, "huge", options.hugeBytes > 0 ? 1 : 0,
                    [&](Draw& draw, const std::string& path, Total& total) {
                        return recordBackToBack(draw, options.hugeBytes, path, total);
                    });
    return written ? 0 : 1;
}
