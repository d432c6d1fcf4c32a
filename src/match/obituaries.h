#pragma once

#include <string_view>
#include <vector>

namespace kest {

// One obituary of a game, as its obituary function prints it: the text with {victim} and
// {killer} where the names go, and a pronoun in braces where the game picks the victim's
// ({his}: his, her or its; {him}: him, her or it; {himself}: himself, herself or itself; the
// rest with them in frag_splitter.cpp).
struct Obituary {
    std::string_view text;
    std::string_view means;   // the game's means of death, in lower case without its MOD_ prefix
    std::string_view weapon;  // the weapon's name in the game's item list; empty for none
};

// A game's obituaries, and the mark it puts after a kill of a team mate, if it has one.
struct ObituaryTable {
    std::vector<Obituary> obituaries;
    std::string_view teamKillMark;
};

// The obituaries of the game in a game directory; the original game's where kest knows no other.
const ObituaryTable& obituariesFor(std::string_view gameDirectory);

}  // namespace kest
