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

// The commands of a multi-view recording, in the low five bits of their code
// byte; the three bits above them extend the command's first field. Every
// code not named here is unknown.
enum class MultiViewCommand : std::uint8_t {
    Nop = 1,
    ServerData = 4,
    ConfigString = 5,
    Frame = 6,
    Unicast = 8,
    ReliableUnicast = 9,
    MulticastAll = 10,
    MulticastHearable = 11,
    MulticastVisible = 12,
    ReliableMulticastAll = 13,
    ReliableMulticastHearable = 14,
    ReliableMulticastVisible = 15,
    Sound = 16,
    Print = 17,
};

constexpr unsigned MultiViewCommandBits = 5;

// The command a multi-view code byte holds, without its extra bits.
constexpr MultiViewCommand multiViewCommandOf(std::uint8_t code)
{
    return static_cast<MultiViewCommand>(code & ((1u << MultiViewCommandBits) - 1));
}

}  // namespace kest
