#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "match/roster.h"

namespace kest {

// One line of a scoreboard the game showed, as it showed it.
struct ScoreboardRow {
    std::string name;
    std::int32_t score;
    std::optional<std::int32_t> deaths;  // where the scoreboard shows them
    std::int32_t ping;
};

// The rows of a scoreboard in a layout: the deathmatch scoreboard's client entries
// ("client X Y SLOT SCORE PING TIME", the name from the slot's config string), or the rows
// of a team match's frag table (under " Name            Frags Dths Net Ping"). None for a
// layout that shows no scoreboard, or one whose every player is unknown.
std::optional<std::vector<ScoreboardRow>> readScoreboard(std::string_view layout, const Roster& roster);

}  // namespace kest
