// The Reckoning's obituaries (ClientObituary): the original game's, word for word, and those of
// the mission pack's weapons (ionripper, phalanx, trap) and monsters.
#include "match/game_obituaries.h"

namespace kest::game_obituaries {

ObituaryTable xatrix()
{
    OriginalObituaries obituaries = original();
    // Monsters that kill without a player to name: a cooperative game's deaths.
    obituaries.world.push_back({"{victim} that's gotta hurt.", "gekk", ""});  // and braintentacle
    // The game prints "his" whoever laid the trap.
    obituaries.own.push_back({"{victim} sucked into his own trap.", "trap", "Trap"});
    obituaries.kills.insert(obituaries.kills.end(), {
        {"{victim} ripped to shreds by {killer}'s ripper gun", "ripper", "Ionripper"},
        {"{victim} was evaporated by {killer}", "phalanx", "Phalanx"},
        {"{victim} caught in trap by {killer}", "trap", "Trap"},
    });
    return obituaries.table();
}

}  // namespace kest::game_obituaries
