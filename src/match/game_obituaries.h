#pragma once

#include <string_view>
#include <vector>

#include "match/obituaries.h"

// Each game's obituaries, in a file of its own that reads like the game's obituary function.
namespace kest::game_obituaries {

// The original game's obituaries as its obituary function groups them, for the games that print
// them word for word and add their own to the groups.
struct OriginalObituaries {
    std::vector<Obituary> world;  // deaths the world dealt
    std::vector<Obituary> own;    // the victim's own doing, by a means the function names
    std::vector<Obituary> kills;  // by another player

    // The groups in the function's order, each own death by any other means after the victim's
    // own, and any other death at the end.
    ObituaryTable table(std::string_view teamKillMark = {}) const;
};
OriginalObituaries original();

ObituaryTable baseq2();
ObituaryTable ctf();
ObituaryTable xatrix();
ObituaryTable rogue();
ObituaryTable opentdm();
ObituaryTable action();

}  // namespace kest::game_obituaries
