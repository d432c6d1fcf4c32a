#pragma once

#include "match/obituaries.h"

// Each game's obituaries, in a file of its own that reads like the game's obituary function.
namespace kest::game_obituaries {

ObituaryTable baseq2();
ObituaryTable ctf();
ObituaryTable xatrix();
ObituaryTable rogue();
ObituaryTable opentdm();
ObituaryTable action();

}  // namespace kest::game_obituaries
