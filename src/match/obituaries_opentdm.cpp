// OpenTDM's obituaries (ClientObituary): the original game's, word for word. After a kill of a
// team mate it prints " ** team kill **" in its high-bit letters: it sets the top bit of every
// byte but a line feed, so the spaces print as 0xA0 too.
#include <cstddef>
#include <string_view>

#include "match/game_obituaries.h"

namespace kest::game_obituaries {
namespace {

template <std::size_t Size>
struct HighBitLetters {
    char bytes[Size - 1] = {};

    constexpr explicit HighBitLetters(const char (&text)[Size])
    {
        for (std::size_t at = 0; at + 1 < Size; ++at)
            bytes[at] = static_cast<char>(text[at] | 0x80);
    }
    constexpr std::string_view text() const { return {bytes, Size - 1}; }
};

constexpr HighBitLetters TeamKillMark(" ** team kill **");

}  // namespace

ObituaryTable opentdm() { return original().table(TeamKillMark.text()); }

}  // namespace kest::game_obituaries
