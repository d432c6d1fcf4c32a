#include "match/scoreboard.h"

#include <charconv>
#include <string_view>

namespace kest {
namespace {

// The frag table's header, and its rows' name field: "%-15.15s" and then the four numbers.
constexpr std::string_view FragTableHeader = " Name            Frags Dths Net Ping";
constexpr std::size_t FragTableNameWidth = 15;

// A layout's words, as the game's client reads them: runs of bytes between spaces, or a
// quoted text whole.
class LayoutWords {
public:
    explicit LayoutWords(std::string_view layout) : rest_(layout) {}

    std::optional<std::string_view> next()
    {
        std::size_t start = 0;
        while (start < rest_.size() && static_cast<unsigned char>(rest_[start]) <= ' ')
            ++start;
        if (start == rest_.size())
            return std::nullopt;
        const bool quoted = rest_[start] == '"';
        const std::size_t from = start + (quoted ? 1 : 0);
        std::size_t end = from;
        while (end < rest_.size() && (quoted ? rest_[end] != '"' : static_cast<unsigned char>(rest_[end]) > ' '))
            ++end;
        const std::string_view word = rest_.substr(from, end - from);
        rest_.remove_prefix(end < rest_.size() && quoted ? end + 1 : end);
        return word;
    }

private:
    std::string_view rest_;
};

std::optional<std::int32_t> number(std::optional<std::string_view> word)
{
    std::int32_t value = 0;
    if (!word || word->empty())
        return std::nullopt;
    const auto [end, error] = std::from_chars(word->data(), word->data() + word->size(), value);
    if (error != std::errc() || end != word->data() + word->size())
        return std::nullopt;
    return value;
}

std::string_view withoutTrailingSpaces(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The name a frag table shows, cut to its field: the one player whose name it is.
std::string fullName(std::string_view shown, const Roster& roster)
{
    std::optional<std::string_view> found;
    for (const std::string_view name : roster.everyName()) {
        if (withoutTrailingSpaces(name.substr(0, FragTableNameWidth)) != shown)
            continue;
        if (found)
            return std::string(shown);
        found = name;
    }
    return std::string(found.value_or(shown));
}

std::optional<ScoreboardRow> fragTableRow(std::string_view text, const Roster& roster)
{
    if (text.size() <= FragTableNameWidth)
        return std::nullopt;
    LayoutWords figures(text.substr(FragTableNameWidth));
    const auto frags = number(figures.next());
    const auto deaths = number(figures.next());
    const auto net = number(figures.next());
    const auto ping = number(figures.next());
    if (!frags || !deaths || !net || !ping || figures.next())
        return std::nullopt;
    return ScoreboardRow{fullName(withoutTrailingSpaces(text.substr(0, FragTableNameWidth)), roster), *frags, *deaths,
                         *ping};
}

}  // namespace

std::optional<std::vector<ScoreboardRow>> readScoreboard(std::string_view layout, const Roster& roster)
{
    std::vector<ScoreboardRow> rows;
    bool inFragTable = false;
    LayoutWords words(layout);
    for (auto word = words.next(); word; word = words.next()) {
        if (*word == "client") {
            const auto x = number(words.next());
            const auto y = number(words.next());
            const auto slot = number(words.next());
            const auto score = number(words.next());
            const auto ping = number(words.next());
            const auto minutes = number(words.next());
            if (!x || !y || !slot || !score || !ping || !minutes || *slot < 0)
                continue;
            if (const auto name = roster.nameInSlot(static_cast<std::size_t>(*slot)))
                rows.push_back({std::string(*name), *score, std::nullopt, *ping});
        } else if (*word == "string2") {
            if (words.next() == FragTableHeader)
                inFragTable = true;
        } else if (*word == "string" && inFragTable) {
            if (const auto text = words.next()) {
                if (auto row = fragTableRow(*text, roster))
                    rows.push_back(std::move(*row));
            }
        }
    }
    if (rows.empty())
        return std::nullopt;
    return rows;
}

}  // namespace kest
