#pragma once

#include "demo/block_cursor.h"

namespace kest {

// Steps over one player-state delta: its mask, the fields it announces and the statistics.
void skipPlayerStateDelta(BlockCursor& cursor);

}  // namespace kest
