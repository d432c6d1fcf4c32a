// The windowed reader: demo files on disk read through the platform's
// InputFile into a DemoWindow and decoded, as a run reads them, for each
// window capacity, so that the default is chosen on evidence.
//     kest_benchmarks --benchmark_filter=Windowed
// The files are written to the system's temporary folder and removed at the
// end; after the first iteration they are read from the page cache.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "demo/demo_parser.h"
#include "demo_writer/demo_writer.h"
#include "driver/platform.h"
#include "log/message_list.h"
#include "sample_match/sample_match.h"

namespace {

namespace fs = std::filesystem;

kest::sample_match::Match session(int players, std::uint64_t bytes, std::uint64_t seed)
{
    const char* const names[] = {"Ash", "Birch", "Cedar", "Elm", "Fir", "Hazel", "Larch", "Oak"};
    kest::sample_match::Match match;
    match.levelName = "Benchmark Hall";
    match.mapName = "bench1";
    for (int player = 0; player < players; ++player)
        match.players.push_back({names[player], "male/grunt", player * 5, 0});
    match.timeLimitMinutes = 0;
    match.recordingBytes = bytes;
    match.seed = seed;
    return match;
}

// The demo files of one shape in a folder of their own, removed with it.
class DemoFolder {
public:
    DemoFolder(const std::string& name, const std::vector<kest::sample_match::Match>& matches)
        : folder_(fs::temp_directory_path() / (name + "-" + std::to_string(std::random_device()())))
    {
        fs::create_directories(folder_);
        for (std::size_t index = 0; index < matches.size(); ++index) {
            const kest::demo_writer::Bytes demo = kest::sample_match::recordMatch(matches[index]);
            paths_.push_back((folder_ / ("demo-" + std::to_string(index) + ".dm2")).string());
            if (!kest::demo_writer::writeFile(paths_.back(), demo))
                std::fprintf(stderr, "Cannot write %s\n", paths_.back().c_str());
            bytes_ += demo.size();
        }
    }
    ~DemoFolder()
    {
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    const std::vector<std::string>& paths() const { return paths_; }
    std::uint64_t bytes() const { return bytes_; }

private:
    fs::path folder_;
    std::vector<std::string> paths_;
    std::uint64_t bytes_ = 0;
};

// Opens and decodes every file of the folder through one window of the capacity in range(0).
void readThroughWindow(benchmark::State& state, const DemoFolder& demos)
{
    const auto platform = kest::makeNativePlatform();
    kest::DemoWindow window(static_cast<std::size_t>(state.range(0)));
    std::size_t records = 0;
    for (auto _ : state) {
        kest::MessageList list;
        for (const std::string& path : demos.paths()) {
            kest::OpenedFile opened = platform->openFile(path);
            if (opened.status != kest::OpenedFile::Status::Opened) {
                state.SkipWithError(("cannot open " + path).c_str());
                return;
            }
            window.open(*opened.file);
            benchmark::DoNotOptimize(kest::DemoParser(window).run(list));
        }
        records = list.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * demos.bytes()));
    state.counters["records"] = static_cast<double>(records);
}

// The files of each benchmark together exceed the processor's last cache, as a
// user's folder does: a window that evicts what the kernel copies shows here.

// Long recordings of two to eight players, 10 MB each.
void BM_WindowedReadLongDemos(benchmark::State& state)
{
    static const DemoFolder demos("kest-window-long", [] {
        std::vector<kest::sample_match::Match> sessions;
        for (int demo = 0; demo < 6; ++demo)
            sessions.push_back(session(2 + demo, 10'000'000, static_cast<std::uint64_t>(demo)));
        return sessions;
    }());
    readThroughWindow(state, demos);
}

// An archive of short recordings, 30 to 60 KB each: opening and the first read weigh most.
void BM_WindowedReadArchive(benchmark::State& state)
{
    static const DemoFolder demos("kest-window-archive", [] {
        std::vector<kest::sample_match::Match> clips;
        for (int clip = 0; clip < 1200; ++clip)
            clips.push_back(session(2 + clip % 7, 30'000 + static_cast<std::uint64_t>(clip) * 7919 % 30'000,
                                    static_cast<std::uint64_t>(clip)));
        return clips;
    }());
    readThroughWindow(state, demos);
}

void capacities(benchmark::internal::Benchmark* benchmark)
{
    for (const std::int64_t kib : {4, 16, 64, 128, 256, 512, 1024})
        benchmark->Arg(kib * 1024);
    benchmark->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_WindowedReadLongDemos)->Apply(capacities);
BENCHMARK(BM_WindowedReadArchive)->Apply(capacities);

}  // namespace
