// Until this game's own obituaries are written out, it is read with the original game's.
#include "match/game_obituaries.h"

namespace kest::game_obituaries {

ObituaryTable ctf() { return baseq2(); }

}  // namespace kest::game_obituaries
