// Writes the sample matches of examples/ into a folder:
//     make_sample_demos OUTPUT_FOLDER
// Every match is played out from a fixed seed, so each run writes the same bytes.
#include <cstdio>
#include <string>
#include <vector>

#include "sample_match/sample_match.h"

namespace {

using kest::demo_writer::DemoWriter;
using kest::sample_match::Match;

struct Sample {
    std::string fileName;
    Match match;
    DemoWriter::Format format;
};

std::vector<Sample> samples()
{
    Match deathmatch;
    deathmatch.levelName = "The Old Foundry";
    deathmatch.mapName = "foundry";
    deathmatch.players = {
        {"Vex", "male/grunt", 0, 0},
        {"Harrow", "male/viper", 4, 251},
        {"Mako", "female/athena", 9, 0},
        {"Quill", "female/jezebel", 21, 0},
        {"Brisk", "male/razor", 268, 0},
    };
    deathmatch.timeLimitMinutes = 7;
    deathmatch.seed = 1998;

    Match duel;
    duel.levelName = "Cistern of Echoes";
    duel.mapName = "cistern";
    duel.players = {
        {"Tarn", "male/claymore", 0, 0},
        {"Sable", "female/venus", 3, 0},
    };
    duel.timeLimitMinutes = 5;
    duel.fragLimit = 15;
    duel.seed = 1104;

    // The deathmatch as the server recorded it too: both files give the same lines.
    return {{"cistern-duel.dm2", duel, DemoWriter::Format::Player},
            {"foundry-dm.dm2", deathmatch, DemoWriter::Format::Player},
            {"foundry-dm.mvd2", deathmatch, DemoWriter::Format::MultiView}};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_demos OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const Sample& sample : samples()) {
        const std::string path = folder + "/" + sample.fileName;
        const kest::demo_writer::Bytes demo = kest::sample_match::recordMatch(sample.match, sample.format);
        if (!kest::demo_writer::writeFile(path, demo)) {
            std::fprintf(stderr, "make_sample_demos: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), demo.size());
    }
    return 0;
}
