// Writes a short deathmatch, played out from a fixed seed, whose file, level and players have
// the names given, whatever they hold (markup, quotes, entities), recorded as a player's demo:
//     make_named_match FILE LEVEL_NAME PLAYER...
// The browser tests read the match report of such demos to see that every name reads as given.
#include <cstdio>
#include <string>

#include "sample_match/sample_match.h"

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_named_match FILE LEVEL_NAME PLAYER...\n");
        return 2;
    }
    static const char* const Skins[] = {"male/grunt", "female/athena", "male/viper", "female/jezebel"};
    kest::sample_match::Match match;
    match.levelName = argv[2];
    match.mapName = "arena";
    for (int player = 3; player < argc && player < 3 + 8; ++player)
        match.players.push_back({argv[player], Skins[player % 4], (player - 3) * 2, 0});
    match.timeLimitMinutes = 2;
    match.seed = 2024;
    const kest::demo_writer::Bytes demo = kest::sample_match::recordMatch(match);
    if (!kest::demo_writer::writeFile(argv[1], demo)) {
        std::fprintf(stderr, "make_named_match: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
