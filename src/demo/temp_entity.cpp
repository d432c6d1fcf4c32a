#include "demo/temp_entity.h"

#include "demo/block_cursor.h"

namespace kest {

std::optional<std::size_t> tempEntityPayloadWidth(std::uint8_t type)
{
    using namespace width;
    switch (type) {
    case 0: case 1: case 2: case 4: case 9: case 12: case 13: case 14: case 27:
        return Position + Direction;
    case 3: case 11: case 23: case 26:
        return Position + Position;
    case 5: case 6: case 7: case 8: case 17: case 18: case 20: case 21: case 22: case 28:
        return Position;
    case 10: case 15: case 25: case 29:
        return Byte /* count */ + Position + Direction + Byte /* colour */;
    case 16: case 19:
        return Short /* entity */ + Position + Position;
    case 24:
        return Short /* entity */ + Position + Position + Position;
    default:
        return std::nullopt;
    }
}

}  // namespace kest
