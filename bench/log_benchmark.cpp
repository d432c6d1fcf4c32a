// Log rendering: the log made in pieces, as a run writes it, over a list like that
// of a run over many demos, a header group per demo and its messages.
#include <benchmark/benchmark.h>

#include <iterator>
#include <string>
#include <string_view>

#include "log/log_writer.h"
#include "log/message_list.h"

namespace {

constexpr int MessagesPerDemo = 150;

const char* const Messages[] = {
    "Larch was railed by Hazel\n", "Oak: nice shot\n",          "Fir entered the game\n",
    "Ash ate Birch's rocket\n",    "Cedar almost dodged Elm's rocket\n", "Elm disconnected\n",
    "Hazel: gg\n",                 "Birch was cut in half by Oak's chaingun\n",
};

void fill(kest::MessageList& list, int demos)
{
    for (int demo = 0; demo < demos; ++demo) {
        list.append(0, kest::RecordKind::DemoFileName, "match-" + std::to_string(demo) + ".dm2");
        list.append(0, kest::RecordKind::DemoFileSize, "171234");
        list.append(1, kest::RecordKind::MapName, "The Old Foundry");
        list.append(1, kest::RecordKind::MapFile, "FOUNDRY.BSP");
        for (int message = 0; message < MessagesPerDemo; ++message) {
            const char* text = Messages[message % std::size(Messages)];
            const auto kind = static_cast<kest::RecordKind>(1 + message % 3);
            list.append(10 + message * 25, kind, text);
        }
    }
}

void BM_RenderLog(benchmark::State& state)
{
    kest::MessageList list;
    fill(list, static_cast<int>(state.range(0)));
    std::size_t logBytes = 0;
    for (auto _ : state) {
        logBytes = 0;
        kest::LogPieces(list).writeWith([&logBytes](std::string_view piece) {
            benchmark::DoNotOptimize(piece.data());
            logBytes += piece.size();
            return true;
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * logBytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
    state.counters["records"] = static_cast<double>(list.size());
}
// 10 and 1000 demos' worth of records.
BENCHMARK(BM_RenderLog)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
