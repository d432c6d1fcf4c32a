// Writes a folder of made-up matches for timing kest over many demos:
//     make_demo_folder OUTPUT_FOLDER COUNT
// Match i is a variant of the sample matches played from seed i: its map,
// players, length (half a minute to five minutes) and limits vary with it.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "sample_match/sample_match.h"

namespace {

const char* const Names[] = {"Ash", "Birch", "Cedar", "Elm", "Fir", "Hazel", "Larch", "Oak", "Rowan", "Yew"};
const char* const Skins[] = {"male/grunt", "male/viper", "female/athena", "female/jezebel", "male/razor"};
const char* const Maps[][2] = {
    {"foundry", "The Old Foundry"}, {"cistern", "Cistern of Echoes"}, {"kiln", "Kiln Yard"}, {"spire", "Broken Spire"}};

kest::sample_match::Match variant(unsigned index)
{
    kest::sample_match::Match match;
    const auto& map = Maps[index % std::size(Maps)];
    match.mapName = map[0];
    match.levelName = map[1];
    const unsigned players = 2 + index % 7;
    for (unsigned player = 0; player < players; ++player) {
        const int joinSecond = player == 0 ? 0 : static_cast<int>((index * 7 + player * 11) % 40);
        match.players.push_back({Names[(index + player) % std::size(Names)], Skins[(index + player) % std::size(Skins)],
                                 joinSecond, 0});
    }
    match.timeLimitMinutes = 1 + static_cast<int>(index % 5);
    match.fragLimit = index % 3 == 0 ? 10 : 0;
    match.seed = index;
    return match;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_demo_folder OUTPUT_FOLDER COUNT\n");
        return 2;
    }
    const std::string folder = argv[1];
    const unsigned count = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    std::size_t total = 0;
    for (unsigned index = 1; index <= count; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "match-%04u.dm2", index);
        const kest::demo_writer::Bytes demo = kest::sample_match::recordMatch(variant(index));
        if (!kest::demo_writer::writeFile(folder + "/" + name, demo)) {
            std::fprintf(stderr, "make_demo_folder: cannot write %s/%s\n", folder.c_str(), name);
            return 1;
        }
        total += demo.size();
    }
    std::printf("%u demos, %zu bytes\n", count, total);
    return 0;
}
