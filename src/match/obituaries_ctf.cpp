// Capture the flag's obituaries (ClientObituary): the original game's, word for word, and its
// grapple. The game picks only "his" or "her", by the skin; the original's neutral forms are
// texts it never prints, and they stand in no other text's way.
#include "match/game_obituaries.h"

namespace kest::game_obituaries {

ObituaryTable ctf()
{
    OriginalObituaries obituaries = original();
    obituaries.kills.push_back({"{victim} was caught by {killer}'s grapple", "grapple", "Grapple"});
    return obituaries.table();
}

}  // namespace kest::game_obituaries
