#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo/demo_parser.h"

namespace kest::fuzzing {

// The name the round trip gives every demo in its header records.
inline constexpr const char* DemoName = "fuzz.dm2";

// One demo taken the program's way from its bytes to the log's bytes, in memory.
struct RoundTrip {
    std::optional<std::string> fatalError;  // the message the program would print
    std::optional<DemoDamage> damage;
    std::string log;  // nothing after a fatal error: the program writes no log then
    // Facts that hold for any input whatever, and that this one broke.
    std::vector<std::string> brokenInvariants;
};

// Appends the header records as the program does, decodes the demo, renders the
// log and checks the invariants, among them that the lean walk and the cursor's
// walk, through windows from a single byte up, give the same outcome. A fatal
// error is kept, not rethrown: it is an answer to bad input, not a fault.
RoundTrip runRoundTrip(const std::uint8_t* data, std::size_t size);

}  // namespace kest::fuzzing
