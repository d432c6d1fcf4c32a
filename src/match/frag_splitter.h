#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "match/obituaries.h"

namespace kest {

// A death as its frag line tells it: the names are the line's own bytes.
struct Death {
    std::string_view victim;
    std::optional<std::string_view> killer;  // none for a death the world dealt, or the victim's own
    const Obituary* obituary;
    bool teamKill;
};

// Splits frag lines into names and an obituary of one game. A line must begin with a player's
// name and hold nothing but the names and an obituary's words, so a name that holds an
// obituary's words, or another name, still splits right.
class FragSplitter {
public:
    explicit FragSplitter(const ObituaryTable& table);
    virtual ~FragSplitter() = default;

    // The death a frag line (without its LF) tells of, naming players from `names`, which
    // lie longest first; none where no obituary fits.
    std::optional<Death> split(std::string_view line, const std::vector<std::string_view>& names) const;

private:
    // The obituaries that name the victim or killer first, then maybe the other, by the words
    // that follow the first name: after them the line ends, or the second name and its words.
    struct Ending {
        const Obituary* obituary;
        bool killerFirst;
    };
    struct Continuation {
        std::map<std::string, Ending, std::less<>> oneName;   // words after the only name
        std::map<std::string, std::map<std::string, Ending, std::less<>>, std::less<>>
            twoNames;  // words between the names, then words after the second
    };

    void add(std::string_view text, const Obituary& obituary);
    std::optional<Death> splitKill(std::string_view line, const std::vector<std::string_view>& names,
                                   bool killsOnly) const;

    // By the words before the first name: nearly always none.
    std::map<std::string, Continuation, std::less<>> byLead_;
    std::string teamKillMark_;
};

}  // namespace kest
