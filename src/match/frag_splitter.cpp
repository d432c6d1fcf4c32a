#include "match/frag_splitter.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace kest {
namespace {

constexpr std::string_view VictimSlot = "{victim}";
constexpr std::string_view KillerSlot = "{killer}";

// The pronouns a game picks by the victim's model: male, female, neither.
const std::pair<std::string_view, std::array<std::string_view, 3>> Pronouns[] = {
    {"{his}", {"his", "her", "its"}},
    {"{him}", {"him", "her", "it"}},
    {"{himself}", {"himself", "herself", "itself"}},
    {"{he}", {"he", "she", "it"}},
    {"{his/it's}", {"his", "her", "it's"}},  // Ground Zero's doppleganger, spelt so
};

std::string replaceAll(std::string text, std::string_view what, std::string_view with)
{
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// Every text an obituary prints: with each pronoun in each of its forms.
std::vector<std::string> printedForms(std::string_view text)
{
    std::vector<std::string> forms{std::string(text)};
    for (const auto& [pronoun, words] : Pronouns) {
        if (text.find(pronoun) == std::string_view::npos)
            continue;
        std::vector<std::string> withPronoun;
        for (const std::string& form : forms) {
            for (const std::string_view word : words)
                withPronoun.push_back(replaceAll(form, pronoun, word));
        }
        forms = std::move(withPronoun);
    }
    return forms;
}

// Most names and words differ from the text in their first or last byte: those are looked at
// before the rest.
bool startsWith(std::string_view text, std::string_view prefix)
{
    if (prefix.empty())
        return true;
    return text.size() >= prefix.size() && text[0] == prefix[0] && text[prefix.size() - 1] == prefix.back() &&
           text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

FragSplitter::FragSplitter(const ObituaryTable& table) : teamKillMark_(table.teamKillMark)
{
    for (const Obituary& obituary : table.obituaries) {
        for (const std::string& form : printedForms(obituary.text))
            add(form, obituary);
    }
}

// Where two obituaries print the same words, the first one the game lists is the one it means.
void FragSplitter::add(std::string_view text, const Obituary& obituary)
{
    const std::size_t victim = text.find(VictimSlot);
    const std::size_t killer = text.find(KillerSlot);
    if (victim == std::string_view::npos || text.find('{') != std::min(victim, killer))
        throw std::invalid_argument("an obituary without its victim, or with words in braces: " + std::string(text));
    if (killer == std::string_view::npos) {
        if (text.find('{', victim + 1) != std::string_view::npos)
            throw std::invalid_argument("an obituary with words in braces: " + std::string(text));
        byLead_[std::string(text.substr(0, victim))].oneName.try_emplace(
            std::string(text.substr(victim + VictimSlot.size())), Ending{&obituary, false});
        return;
    }
    const bool killerFirst = killer < victim;
    const std::size_t first = killerFirst ? killer : victim;
    const std::size_t second = killerFirst ? victim : killer;
    const std::size_t afterFirst = first + VictimSlot.size();
    const std::size_t afterSecond = second + KillerSlot.size();
    if (text.find('{', afterFirst) != second || text.find('{', afterSecond) != std::string_view::npos)
        throw std::invalid_argument("an obituary with words in braces: " + std::string(text));
    byLead_[std::string(text.substr(0, first))]
        .twoNames[std::string(text.substr(afterFirst, second - afterFirst))]
        .try_emplace(std::string(text.substr(afterSecond)), Ending{&obituary, killerFirst});
}

std::optional<Death> FragSplitter::split(std::string_view line, const std::vector<std::string_view>& names) const
{
    // The mark comes only after a kill: the same line without it may still be one.
    if (!teamKillMark_.empty() && endsWith(line, teamKillMark_)) {
        if (auto death = splitKill(line.substr(0, line.size() - teamKillMark_.size()), names, true)) {
            death->teamKill = true;
            return death;
        }
    }
    return splitKill(line, names, false);
}

std::optional<Death> FragSplitter::splitKill(std::string_view line, const std::vector<std::string_view>& names,
                                             bool killsOnly) const
{
    for (const auto& [lead, continuation] : byLead_) {
        if (!startsWith(line, lead))
            continue;
        const std::string_view afterLead = line.substr(lead.size());
        for (const std::string_view first : names) {
            if (!startsWith(afterLead, first))
                continue;
            // The names as the line has them: its own bytes, not the roster's.
            const std::string_view firstName = afterLead.substr(0, first.size());
            const std::string_view rest = afterLead.substr(first.size());
            if (const auto only = continuation.oneName.find(rest); !killsOnly && only != continuation.oneName.end())
                return Death{firstName, std::nullopt, only->second.obituary, false};
            for (const auto& [middle, endings] : continuation.twoNames) {
                if (!startsWith(rest, middle))
                    continue;
                const std::string_view afterMiddle = rest.substr(middle.size());
                for (const std::string_view second : names) {
                    if (!startsWith(afterMiddle, second))
                        continue;
                    const auto ending = endings.find(afterMiddle.substr(second.size()));
                    if (ending == endings.end())
                        continue;
                    const Ending& found = ending->second;
                    const std::string_view secondName = afterMiddle.substr(0, second.size());
                    return found.killerFirst ? Death{secondName, firstName, found.obituary, false}
                                             : Death{firstName, secondName, found.obituary, false};
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace kest
