#pragma once

#include <cstdint>

#include "demo/block_cursor.h"

namespace kest {

struct EntityDeltaHeader {
    std::uint32_t bits;
    std::uint16_t number;
};

// The header bits (one to four bytes) and the entity number.
EntityDeltaHeader readEntityDeltaHeader(BlockCursor& cursor);

// Steps over the fields that the header bits announce.
void skipEntityDeltaFields(BlockCursor& cursor, std::uint32_t bits);

}  // namespace kest
