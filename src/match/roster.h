#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "log/message_list.h"

namespace kest {

// Who plays a level, as its players' config strings ("name\model/skin") say: who is in each
// slot now, and everyone named at any moment of it.
class Roster {
public:
    Roster() = default;
    virtual ~Roster() = default;
    Roster(const Roster&) = delete;
    Roster& operator=(const Roster&) = delete;

    // A slot's config string changed; an empty one, or one without a name, empties the slot.
    void setPlayer(std::size_t slot, std::string_view configString);

    std::optional<std::string_view> nameInSlot(std::size_t slot) const;

    // The names of those in the game now, longest first; then every name seen in the level.
    const std::vector<std::string_view>& currentNames() const;
    const std::vector<std::string_view>& everyName() const;

    struct Seen {
        std::string_view name;
        std::string_view skin;  // the latest that went with the name
    };
    // Everyone named, in the order first named.
    const std::vector<Seen>& everyone() const { return everyone_; }

private:
    // The roster's own copy of a name or skin, which never moves.
    std::string_view keep(std::string_view text);

    std::set<std::string, std::less<>> kept_;
    std::array<std::optional<std::string_view>, PlayerSlots> slots_;
    std::map<std::string_view, std::size_t> seenAt_;  // a name's place in everyone_
    std::vector<Seen> everyone_;
    mutable std::optional<std::vector<std::string_view>> currentNames_;
    mutable std::optional<std::vector<std::string_view>> everyName_;
};

}  // namespace kest
