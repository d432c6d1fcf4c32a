#include "demo/entity_delta.h"

namespace kest {
namespace {

// Header bits that say another header byte follows, and that the number is a short.
constexpr std::uint32_t MoreBits8 = 0x80;
constexpr std::uint32_t MoreBits16 = 0x8000;
constexpr std::uint32_t MoreBits24 = 0x800000;
constexpr std::uint32_t NumberIsShort = 0x100;

// A field is there when all of `present` and none of `absent` are set.
struct EntityField {
    std::uint32_t present;
    std::uint32_t absent;
    std::size_t width;
};

using namespace width;

// The fields in the order they follow the entity number.
constexpr EntityField EntityFields[] = {
    {0x800, 0, Byte},                   // model
    {0x100000, 0, Byte},                // second model
    {0x200000, 0, Byte},                // third model
    {0x400000, 0, Byte},                // fourth model
    {0x10, 0, Byte},                    // frame
    {0x20000, 0, Short},                // frame, when it needs two bytes
    {0x10000 | 0x2000000, 0, Long},     // skin
    {0x10000, 0x2000000, Byte},         // skin
    {0x2000000, 0x10000, Short},        // skin
    {0x4000 | 0x80000, 0, Long},        // effects
    {0x4000, 0x80000, Byte},            // effects
    {0x80000, 0x4000, Short},           // effects
    {0x1000 | 0x40000, 0, Long},        // render effects
    {0x1000, 0x40000, Byte},            // render effects
    {0x40000, 0x1000, Short},           // render effects
    {0x1, 0, Coordinate},               // origin x
    {0x2, 0, Coordinate},               // origin y
    {0x200, 0, Coordinate},             // origin z
    {0x400, 0, Angle},                  // angle x
    {0x4, 0, Angle},                    // angle y
    {0x8, 0, Angle},                    // angle z
    {0x1000000, 0, Position},           // old origin
    {0x4000000, 0, Byte},               // sound
    {0x20, 0, Byte},                    // event
    {0x8000000, 0, Short},              // solid
};

}  // namespace

EntityDeltaHeader readEntityDeltaHeader(BlockCursor& cursor)
{
    std::uint32_t bits = cursor.readByte();
    if (bits & MoreBits8)
        bits |= std::uint32_t{cursor.readByte()} << 8;
    if (bits & MoreBits16)
        bits |= std::uint32_t{cursor.readByte()} << 16;
    if (bits & MoreBits24)
        bits |= std::uint32_t{cursor.readByte()} << 24;
    const std::uint16_t number = (bits & NumberIsShort) ? cursor.readShort() : cursor.readByte();
    return {bits, number};
}

void skipEntityDeltaFields(BlockCursor& cursor, std::uint32_t bits)
{
    std::size_t fieldsWidth = 0;
    for (const EntityField& field : EntityFields) {
        if ((bits & field.present) == field.present && (bits & field.absent) == 0)
            fieldsWidth += field.width;
    }
    cursor.skip(fieldsWidth);
}

}  // namespace kest
