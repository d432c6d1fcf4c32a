// libFuzzer entry: any bytes, taken as one demo, the whole way to the log.
#include <cstdio>
#include <cstdlib>

#include "demo_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kest::fuzzing::RoundTrip trip = kest::fuzzing::runRoundTrip(data, size);
    if (trip.brokenInvariants.empty())
        return 0;
    for (const std::string& invariant : trip.brokenInvariants)
        std::fprintf(stderr, "kest_fuzz_demo: %s\n", invariant.c_str());
    std::abort();
}
