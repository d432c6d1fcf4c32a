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
    // The first one records a player's demo. At most 8; at most 7 in a multi-view
    // recording, whose own client takes the last slot.
    std::vector<Player> players;
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

// The match as its first player's client records it (Format::Player): the
// connection blocks (server data, config strings, spawn baselines), then one
// block per server frame, ten a second, each holding that frame's prints, config
// strings and layouts before the frame command, and after it the player and
// entity deltas and then the frame's sounds, temporary entities and muzzle
// flashes, as a server sends them; then the intermission and the change of
// level, then the end marker.
//
// Or the same match as the server records it (Format::MultiView): the magic,
// a block of server data with the config strings, its own client a spectator
// in the last slot; then a block per server frame with the frame's prints to
// all, config strings, sounds, temporary entities and muzzle flashes as
// multicasts, chat lines and the intermission's scoreboards as unicasts to
// every player and to the spectator, and a frame command without players or
// entities; then the intermission, then the end marker. At most 7 players.
demo_writer::Bytes recordMatch(const Match& match,
                               demo_writer::DemoWriter::Format format = demo_writer::DemoWriter::Format::Player);
void recordMatch(const Match& match, DemoSink& sink,
                 demo_writer::DemoWriter::Format format = demo_writer::DemoWriter::Format::Player);

}  // namespace kest::sample_match
