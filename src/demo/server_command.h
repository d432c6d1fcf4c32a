#pragma once

#include <cstdint>

namespace kest {

// The server-to-client command codes; every code above Frame is unknown.
enum class ServerCommand : std::uint8_t {
    Bad = 0,
    MuzzleFlash = 1,
    MonsterMuzzleFlash = 2,
    TempEntity = 3,
    Layout = 4,
    Inventory = 5,
    Nop = 6,
    Disconnect = 7,
    Reconnect = 8,
    Sound = 9,
    Print = 10,
    StuffText = 11,
    ServerData = 12,
    ConfigString = 13,
    SpawnBaseline = 14,
    CenterPrint = 15,
    Download = 16,
    PlayerInfo = 17,
    PacketEntities = 18,
    DeltaPacketEntities = 19,
    Frame = 20,
};

}  // namespace kest
