#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "demo_writer/demo_writer.h"

namespace kest::sample_match {

struct Player {
    std::string name;
    std::string skin;  // model/skin, e.g. "female/athena"; the model gives the obituaries' pronouns
    int joinSecond = 0;   // game time at which the player enters the game
    int leaveSecond = 0;  // game time at which the player disconnects; 0 to stay to the end
};

// A deathmatch on one map, played out from a seed: the same match gives the same bytes.
struct Match {
    std::string levelName;  // as the server data names it, e.g. "The Old Foundry"
    std::string mapName;    // the map file is maps/<mapName>.bsp
    std::vector<Player> players;  // the first one records the demo; at most 8
    int timeLimitMinutes = 10;  // 0 for none
    int fragLimit = 0;  // 0 for none
    std::uint64_t seed = 1;
    // The recording player stops recording after the frame that brings the
    // demo to this many bytes, whatever the match does; 0 to record it all.
    std::uint64_t recordingBytes = 0;
};

// Where a recording goes as it is made, a block at a time, so that a
// recording of any length is never held in memory whole.
class DemoSink {
public:
    virtual ~DemoSink() = default;
    virtual void write(const demo_writer::Bytes& bytes) = 0;
};

// The match as its first player's client records it: the connection blocks
// (server data, config strings, spawn baselines), then one block per server
// frame, ten a second, each holding that frame's prints, config strings and
// layouts before the frame command, and after it the player and entity deltas
// and then the frame's sounds, temporary entities and muzzle flashes, as a
// server sends them; then the intermission and the change of level, then the
// end marker.
demo_writer::Bytes recordMatch(const Match& match);
void recordMatch(const Match& match, DemoSink& sink);

}  // namespace kest::sample_match
