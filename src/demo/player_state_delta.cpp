#include "demo/player_state_delta.h"

#include <bitset>

namespace kest {
namespace {

struct PlayerStateField {
    std::uint16_t bit;
    std::size_t width;
};

using namespace width;

// The fields in the order they follow the mask: the weapon fields come before blend and field of view.
constexpr PlayerStateField PlayerStateFields[] = {
    {0x1, Byte},             // movement type
    {0x2, Position},         // origin
    {0x4, Position},         // velocity
    {0x8, Byte},             // movement time
    {0x10, Byte},            // movement flags
    {0x20, Short},           // gravity
    {0x40, 3 * Angle16},     // delta angles
    {0x80, 3 * Byte},        // view offset
    {0x100, 3 * Angle16},    // view angles
    {0x200, 3 * Byte},       // kick angles
    {0x1000, Byte},          // weapon index
    {0x2000, 7 * Byte},      // weapon frame, gun offset, gun angles
    {0x400, 4 * Byte},       // blend
    {0x800, Byte},           // field of view
    {0x4000, Byte},          // render flags
};

}  // namespace

void skipPlayerStateDelta(BlockCursor& cursor)
{
    const std::uint16_t mask = cursor.readShort();
    std::size_t fieldsWidth = 0;
    for (const PlayerStateField& field : PlayerStateFields) {
        if (mask & field.bit)
            fieldsWidth += field.width;
    }
    cursor.skip(fieldsWidth);

    // One short for each statistic whose bit is set.
    const auto statBits = static_cast<std::uint32_t>(cursor.readLong());
    cursor.skip(std::bitset<32>(statBits).count() * Short);
}

}  // namespace kest
