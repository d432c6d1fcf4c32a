// Decode throughput: a DemoParser over demos already in memory, so only the
// block walk, the command decoding and the records' copies are measured.
//     kest_benchmarks [--benchmark_filter=Decode]
// The real recordings of KEST_REAL_DEMOS_DIR are measured too when it exists.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "demo/demo_parser.h"
#include "demo_writer/demo_writer.h"
#include "driver/error_reporter.h"
#include "log/message_list.h"
#include "sample_match/sample_match.h"

namespace {

using kest::demo_writer::Bytes;
using kest::demo_writer::DemoWriter;
using kest::demo_writer::EntityState;
using kest::demo_writer::MessageWriter;
using kest::demo_writer::PlayerState;
using kest::demo_writer::Position;
using kest::demo_writer::Sound;

void decode(benchmark::State& state, const Bytes& demo)
{
    std::size_t records = 0;
    kest::DemoWindow window;
    for (auto _ : state) {
        kest::MessageList list;
        kest::MemorySource source(demo.data(), demo.size());
        window.open(source);
        benchmark::DoNotOptimize(kest::DemoParser(window).run(list));
        records = list.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(demo.size()));
    state.counters["records"] = static_cast<double>(records);
    state.counters["demo_bytes"] = static_cast<double>(demo.size());
}

// An hour of eight players: a long recording of the usual kind, where most
// of every block lies behind the frame command.
const Bytes& hourLongMatch()
{
    static const Bytes demo = [] {
        kest::sample_match::Match match;
        match.levelName = "Benchmark Hall";
        match.mapName = "bench1";
        for (const char* name : {"Ash", "Birch", "Cedar", "Elm", "Fir", "Hazel", "Larch", "Oak"})
            match.players.push_back({name, "male/grunt", 0, 0});
        match.timeLimitMinutes = 60;
        match.seed = 60;
        return kest::sample_match::recordMatch(match);
    }();
    return demo;
}

// Blocks in which every command kest decodes comes before the frame, so the
// decoder's work per byte is at its greatest.
const Bytes& everyCommandBeforeTheFrame()
{
    static const Bytes demo = [] {
        const Position here{1024, -2048, 192};
        const Position there{-512, 768, 64};
        EntityState player;
        player.number = 3;
        player.model = 255;
        player.frame = 42;
        player.skin = 0x0502;
        player.originX = 1024;
        player.originY = -2048;
        player.angleY = 64;
        EntityState item;
        item.number = 300;
        item.model = 40;
        item.effects = 1;
        item.renderEffects = 0x200;
        item.originZ = 96;
        item.event = 1;
        EntityState everything = item;
        everything.model2 = 255;
        everything.frame = 300;
        everything.skin = 0x12345;
        everything.oldOrigin = here;
        everything.sound = 12;
        everything.solid = 7266;
        PlayerState view;
        view.origin = here;
        view.velocity = there;
        view.viewAngles = std::array<std::uint16_t, 3>{100, 30000, 0};
        view.weaponIndex = 60;
        view.blend = std::array<std::uint8_t, 4>{255, 0, 0, 90};
        view.stats = {{1, 100}, {3, 25}, {14, 12}};
        Sound sound;
        sound.index = 7;
        sound.volume = 200;
        sound.attenuation = 192;
        sound.timeOffset = 40;
        sound.entityWord = 3 * 8 + 2;
        sound.position = here;

        DemoWriter demo;
        demo.block(MessageWriter()
                       .serverData(34, 0x10001, 1, "", 0, "Benchmark Hall")
                       .configString(33, "maps/bench1.bsp")
                       .spawnBaseline(everything));
        for (std::int32_t frame = 1; frame <= 20000; ++frame) {
            MessageWriter block;
            block.print(1, "Larch was railed by Hazel\n")
                .print(3, "Oak: nice shot\n")
                .print(2, "Fir entered the game\n")
                .configString(1312 + 3, "Fir\\female/athena")
                .sound(sound)
                .muzzleFlash(3, 6)
                .impactTempEntity(0, here, 12)
                .trailTempEntity(3, here, there)
                .pointTempEntity(7, there)
                .splashTempEntity(10, 8, here, 3, 2)
                .beamTempEntity(16, 3, here, there)
                .offsetBeamTempEntity(24, 3, here, there, here)
                .spawnBaseline(item)
                .playerInfo(view)
                .packetEntities({player, item, everything})
                .layout("xv 32 yv 8 picn help")
                .centerPrint("Fight!")
                .stuffText("play world/10_0.wav\n")
                .download(16, 50, Bytes(16, 0xAB))
                .nop();
            if (frame % 50 == 0)
                block.inventory(std::vector<std::uint16_t>(256, 5));
            demo.block(block.frame(frame, frame - 1, 0, {0xFF, 0x3F}));
        }
        return demo.endMarker().bytes();
    }();
    return demo;
}

void BM_DecodeHourLongMatch(benchmark::State& state)
{
    decode(state, hourLongMatch());
}
BENCHMARK(BM_DecodeHourLongMatch)->Unit(benchmark::kMillisecond);

void BM_DecodeEveryCommandBeforeTheFrame(benchmark::State& state)
{
    decode(state, everyCommandBeforeTheFrame());
}
BENCHMARK(BM_DecodeEveryCommandBeforeTheFrame)->Unit(benchmark::kMillisecond);

// A benchmark per real recording that kest decodes; one it rejects (a
// protocol of its own) is left out with a note.
void registerRealRecordings(const std::filesystem::path& folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::fprintf(stderr, "No real recordings at %s: their benchmarks are skipped\n", folder.c_str());
        return;
    }
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".dm2")
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        std::ifstream file(path, std::ios::binary);
        auto demo = std::make_shared<const Bytes>(std::istreambuf_iterator<char>(file),
                                                  std::istreambuf_iterator<char>());
        try {
            kest::MessageList list;
            kest::MemorySource source(demo->data(), demo->size());
            kest::DemoWindow window;
            window.open(source);
            kest::DemoParser(window).run(list);
        } catch (const kest::FatalError& rejected) {
            std::fprintf(stderr, "Skipped %s: %s\n", path.filename().c_str(), rejected.what());
            continue;
        }
        const std::string name = "BM_DecodeRealRecording/" + path.filename().string();
        benchmark::RegisterBenchmark(name.c_str(), [demo](benchmark::State& state) { decode(state, *demo); })
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerRealRecordings(KEST_REAL_DEMOS_DIR);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
