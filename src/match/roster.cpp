#include "match/roster.h"

#include <algorithm>

namespace kest {
namespace {

std::vector<std::string_view> longestFirst(std::vector<std::string_view> names)
{
    std::stable_sort(names.begin(), names.end(),
                     [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
    return names;
}

}  // namespace

std::string_view Roster::keep(std::string_view text)
{
    return *kept_.emplace(text).first;
}

void Roster::setPlayer(std::size_t slot, std::string_view configString)
{
    // The game's client takes the name up to the first backslash, the skin after it.
    const std::size_t backslash = configString.find('\\');
    const std::string_view name = configString.substr(0, backslash);
    const std::string_view skin = backslash == std::string_view::npos ? std::string_view() : configString.substr(backslash + 1);
    currentNames_.reset();
    if (name.empty()) {
        slots_.at(slot).reset();
        return;
    }
    const std::string_view kept = keep(name);
    slots_.at(slot) = kept;
    const auto [seen, isNew] = seenAt_.try_emplace(kept, everyone_.size());
    if (isNew) {
        everyone_.push_back({kept, keep(skin)});
        everyName_.reset();
    } else {
        everyone_[seen->second].skin = keep(skin);
    }
}

std::optional<std::string_view> Roster::nameInSlot(std::size_t slot) const
{
    return slot < slots_.size() ? slots_[slot] : std::nullopt;
}

const std::vector<std::string_view>& Roster::currentNames() const
{
    if (!currentNames_) {
        std::vector<std::string_view> names;
        for (const auto& name : slots_) {
            if (name)
                names.push_back(*name);
        }
        currentNames_ = longestFirst(std::move(names));
    }
    return *currentNames_;
}

const std::vector<std::string_view>& Roster::everyName() const
{
    if (!everyName_) {
        std::vector<std::string_view> names;
        for (const Seen& seen : everyone_)
            names.push_back(seen.name);
        everyName_ = longestFirst(std::move(names));
    }
    return *everyName_;
}

}  // namespace kest
