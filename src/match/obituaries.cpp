#include "match/obituaries.h"

#include <algorithm>
#include <cctype>

#include "match/game_obituaries.h"

namespace kest {
namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

const ObituaryTable& obituariesFor(std::string_view gameDirectory)
{
    // Game directories are file names: a server on Windows may spell them in capitals.
    static const struct {
        std::string_view directory;
        ObituaryTable table;
    } games[] = {
        {"baseq2", game_obituaries::baseq2()},   {"ctf", game_obituaries::ctf()},
        {"xatrix", game_obituaries::xatrix()},   {"rogue", game_obituaries::rogue()},
        {"opentdm", game_obituaries::opentdm()}, {"action", game_obituaries::action()},
    };
    for (const auto& game : games) {
        if (sameLetters(game.directory, gameDirectory))
            return game.table;
    }
    return games[0].table;
}

}  // namespace kest
