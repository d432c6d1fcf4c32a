#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kest {

// Bytes that follow a temporary entity's type byte; none for a type that does not exist.
std::optional<std::size_t> tempEntityPayloadWidth(std::uint8_t type);

}  // namespace kest
