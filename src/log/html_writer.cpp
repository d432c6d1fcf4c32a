#include "log/html_writer.h"

#include <algorithm>
#include <numeric>

#include "log/readable_text.h"
#include "log/report_assets.h"
#include "log/score_chart.h"

namespace kest {
namespace {

const char* const EnDash = "\xE2\x80\x93";
const char* const None = "\xE2\x80\x94";  // an em dash, where there is nothing to show
const char* const Dot = " \xC2\xB7 ";  // between the facts of a line

// Text as the page's HTML, in an element or an attribute's quotes alike.
void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
}

std::string escaped(std::string_view text)
{
    std::string out;
    appendEscaped(out, text);
    return out;
}

// A demo's text in the console's plain ASCII, as the log and kest.json have it.
std::string demoHtml(std::string_view text) { return escaped(consoleText(text)); }

// A file's name, which is UTF-8 where it can be.
std::string fileHtml(std::string_view name) { return escaped(validUtf8(name)); }

std::string howMany(std::size_t count, const std::string& thing)
{
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

std::string levelTitle(const LevelFacts& level)
{
    std::string title = level.name ? demoHtml(*level.name) : "";
    if (level.map && !level.map->empty())
        title += (title.empty() ? "" : " ") + std::string("<span class=\"map\">") + demoHtml(*level.map) + "</span>";
    return title.empty() ? None : title;
}

std::int64_t levelEnd(const DemoFacts& facts, std::size_t level)
{
    return level + 1 < facts.levels.size() ? facts.levels[level + 1].time : facts.playTime;
}

// Those who fragged or died in the level: the matrix's players and the chart's, in its order.
std::vector<std::size_t> fragging(const LevelFacts& level)
{
    std::vector<std::size_t> players;
    for (std::size_t i = 0; i < level.players.size(); ++i) {
        const PlayerTally& tally = level.players[i];
        if (tally.kills + tally.deaths + tally.teamKills > 0)
            players.push_back(i);
    }
    return players;
}

std::int32_t deathsIn(const LevelFacts& level)
{
    return std::accumulate(level.players.begin(), level.players.end(), 0,
                           [](std::int32_t sum, const PlayerTally& tally) { return sum + tally.deaths; });
}

// The level a demo's row in the table of demos tells of: the one with the most deaths, the
// first of those.
const LevelFacts* decidingLevel(const DemoFacts& facts)
{
    const auto most = std::max_element(facts.levels.begin(), facts.levels.end(),
                                       [](const LevelFacts& a, const LevelFacts& b) { return deathsIn(a) < deathsIn(b); });
    return most == facts.levels.end() ? nullptr : &*most;
}

const PlayerTally* countedPlayer(const LevelFacts& level, std::string_view name)
{
    const auto found = std::find_if(level.players.begin(), level.players.end(),
                                    [&](const PlayerTally& tally) { return tally.name == name; });
    return found == level.players.end() ? nullptr : &*found;
}

// The weapon of most kills, the first by name of those, with its kills.
std::string topWeapon(const PlayerTally& tally)
{
    const auto top = std::max_element(tally.weapons.begin(), tally.weapons.end(),
                                      [](const auto& a, const auto& b) { return a.second < b.second; });
    if (top == tally.weapons.end())
        return None;
    return escaped(top->first) + " (" + std::to_string(top->second) + ")";
}

void appendCountedBoard(std::string& out, const LevelFacts& level)
{
    out += "<div class=\"wide\"><table class=\"board counted\"><caption>Counted from the frag lines</caption>\n"
           "<thead><tr><th>Player<th>Score<th>Kills<th>Deaths<th>Suicides<th>Team kills<th>Top weapon</thead>\n"
           "<tbody>\n";
    for (const PlayerTally& tally : level.players) {
        out += "<tr><td>" + demoHtml(tally.name);
        for (const std::int32_t figure : {tally.score(), tally.kills, tally.deaths, tally.suicides, tally.teamKills})
            out += "<td>" + std::to_string(figure);
        out += "<td>" + topWeapon(tally) + "</tr>\n";
    }
    out += "</tbody></table></div>\n";
}

// The game's own scoreboard, each row against what kest counted for the name: a figure that
// differs is marked, and the last column says what kest counted.
void appendGameBoard(std::string& out, const LevelFacts& level, TimeStamp& stamp)
{
    const Scoreboard& board = *level.scoreboard;
    const bool deaths = std::any_of(board.rows.begin(), board.rows.end(),
                                    [](const ScoreboardRow& row) { return row.deaths.has_value(); });
    out += "<div class=\"wide\"><table class=\"board game\"><caption>The game's scoreboard at ";
    out += stamp.format(board.time);
    out += "</caption>\n<thead><tr><th>Player<th>Score";
    out += deaths ? "<th>Deaths" : "";
    out += "<th>Ping<th>Against the count</thead>\n<tbody>\n";
    for (const ScoreboardRow& row : board.rows) {
        const PlayerTally* const tally = countedPlayer(level, row.name);
        std::string against;
        const auto cell = [&](std::int32_t shown, std::int32_t count, const char* what) {
            const bool differs = tally && shown != count;
            if (differs)
                against += (against.empty() ? "counted: " : ", ") + std::string(what) + " " + std::to_string(count);
            out += (differs ? "<td class=\"differs\">" : "<td>") + std::to_string(shown);
        };
        out += "<tr><td>" + demoHtml(row.name);
        cell(row.score, tally ? tally->score() : 0, "score");
        if (deaths && row.deaths)
            cell(*row.deaths, tally ? tally->deaths : 0, "deaths");
        else if (deaths)
            out += "<td>";
        out += "<td>" + std::to_string(row.ping);
        if (!tally)
            against = "not counted";
        out += (against.empty() ? "<td class=\"against\">as counted" : "<td class=\"against differs\">" + against) +
               "</tr>\n";
    }
    out += "</tbody></table>\n";
    std::string absent;
    for (const std::size_t player : fragging(level)) {
        const PlayerTally& tally = level.players[player];
        if (std::none_of(board.rows.begin(), board.rows.end(),
                         [&](const ScoreboardRow& row) { return row.name == tally.name; }))
            absent += (absent.empty() ? "" : ", ") + demoHtml(tally.name) + " (" + std::to_string(tally.score()) + ")";
    }
    if (!absent.empty())
        out += "<p class=\"note absent\">Not on the game's scoreboard: " + absent + "</p>\n";
    out += "</div>\n";
}

void appendMatrix(std::string& out, const LevelFacts& level, const std::vector<std::size_t>& players)
{
    out += "<div class=\"wide\"><table class=\"matrix\"><caption>Who fragged whom</caption>\n"
           "<thead><tr><th>Killer \\ victim";
    for (const std::size_t victim : players)
        out += "<th>" + demoHtml(level.players[victim].name);
    out += "</thead>\n<tbody>\n";
    for (const std::size_t killer : players) {
        out += "<tr><th>" + demoHtml(level.players[killer].name);
        for (const std::size_t victim : players) {
            const auto found = level.frags.find({killer, victim});
            const std::int32_t frags = found == level.frags.end() ? 0 : found->second;
            const char* const kind = killer == victim ? (frags ? " class=\"self\"" : " class=\"self zero\"")
                                                      : (frags ? "" : " class=\"zero\"");
            out += "<td" + std::string(kind) + ">" + std::to_string(frags);
        }
        out += "</tr>\n";
    }
    out += "</tbody></table></div>\n";
}

// An inline SVG step line per player, in a colour and dash of its own and named at its end,
// over the level's play time; the legend under it says the same in text.
void appendChart(std::string& out, const LevelFacts& level, std::int64_t end, const std::vector<std::size_t>& players)
{
    std::vector<std::string> names;
    std::size_t longest = 0;
    for (const std::size_t player : players) {
        const PlayerTally& tally = level.players[player];
        names.push_back(demoHtml(tally.name));
        longest = std::max(longest, tally.name.size() + 1 + std::to_string(tally.score()).size());
    }
    const ScoreChart chart = scoreChart(level, end, players, longest);
    const std::string left = svgNumber(ScoreChart::PlotLeft);
    const std::string right = svgNumber(chart.plotRight);
    const std::string bottom = svgNumber(ScoreChart::PlotBottom);
    out += "<figure class=\"chart\">\n<div class=\"wide\"><svg class=\"plot\" viewBox=\"0 0 " + svgNumber(ScoreChart::Width) + " " +
           svgNumber(ScoreChart::Height) + "\" role=\"img\"><title>Score over play time</title>\n<path class=\"grid\" d=\"";
    for (const ChartTick& tick : chart.scoreTicks)
        out += "M" + left + " " + svgNumber(tick.at) + "H" + right;
    out += "\"/>\n<path class=\"axis\" d=\"M" + left + " " + svgNumber(ScoreChart::PlotTop) + "V" + bottom + "H" + right;
    for (const ChartTick& tick : chart.timeTicks)
        out += "M" + svgNumber(tick.at) + " " + bottom + "v5";
    out += "\"/>\n<g class=\"ticks\">";
    for (const ChartTick& tick : chart.scoreTicks)
        out += "<text class=\"score\" x=\"" + svgNumber(ScoreChart::PlotLeft - 6) + "\" y=\"" + svgNumber(tick.at) +
               "\">" + std::to_string(tick.value) + "</text>";
    for (const ChartTick& tick : chart.timeTicks)
        out += "<text class=\"time\" x=\"" + svgNumber(tick.at) + "\" y=\"" + svgNumber(ScoreChart::PlotBottom + 19) +
               "\">" + tickTime(tick.value) + "</text>";
    out += "</g>\n<text class=\"title\" x=\"" + left + "\" y=\"" + svgNumber(ScoreChart::Height - 2) +
           "\">play time</text>\n";
    for (std::size_t i = 0; i < chart.lines.size(); ++i) {
        const std::string colour = "p" + std::to_string(i % 8);
        out += "<path class=\"line " + colour + "\" d=\"" + chart.lines[i].path + "\"><title>" + names[i] +
               "</title></path>\n";
    }
    for (std::size_t i = 0; i < chart.lines.size(); ++i)
        out += "<text class=\"end p" + std::to_string(i % 8) + "\" x=\"" + svgNumber(chart.plotRight + 6) + "\" y=\"" +
               svgNumber(chart.lines[i].labelY) + "\">" + names[i] + " " + std::to_string(chart.lines[i].score) +
               "</text>\n";
    out += "</svg></div>\n<figcaption>Score over play time, one line per player who fragged or died:\n<ul class=\"legend\">";
    for (std::size_t i = 0; i < names.size(); ++i)
        out += "<li><svg class=\"swatch\" viewBox=\"0 0 30 10\" aria-hidden=\"true\"><path class=\"line p" +
               std::to_string(i % 8) + "\" d=\"M0 5H30\"/></svg>" + names[i] + "</li>";
    out += "</ul></figcaption>\n</figure>\n";
}

}  // namespace

HtmlPieces::HtmlPieces(const MessageList& list, std::size_t capacity)
    : list_(list), demos_(demosIn(list)), capacity_(capacity)
{
    // The table at the top tells of every demo, so every demo's facts are known before the first byte.
    facts_.reserve(demos_.size());
    for (const DemoRecords demo : demos_)
        facts_.push_back(demoFacts(list, demo, ScoreSteps::Kept));
}

std::string_view HtmlPieces::nextPiece()
{
    piece_.clear();
    while (piece_.size() < capacity_) {
        if (!messages_) {
            if (!addPart())
                break;
        } else if (const auto message = messages_->next()) {
            addMessage(*message);
        } else {
            piece_ += "</tbody></table></div></details>\n</section>\n";
            messages_.reset();
        }
    }
    return piece_;
}

// The parts in order: the head and the start of the table of demos, a row of it per demo, its
// end, a section per demo, the end of the page.
bool HtmlPieces::addPart()
{
    const std::size_t demos = demos_.size();
    const std::size_t part = nextPart_++;
    if (part == 0)
        addHead();
    else if (part <= demos)
        addSummaryRow(facts_[part - 1], part);
    else if (part == demos + 1)
        piece_ += "</tbody></table></div>\n</section>\n";
    else if (part <= 2 * demos + 1)
        addDemo(part - demos - 1);
    else if (part == 2 * demos + 2)
        piece_ += "</main>\n<script>" + std::string(report::Script) + "</script>\n</body>\n</html>\n";
    else
        return false;
    return true;
}

void HtmlPieces::addHead()
{
    std::size_t levels = 0;
    std::int64_t playTime = 0;
    for (const DemoFacts& facts : facts_) {
        levels += facts.levels.size();
        playTime += facts.playTime;
    }
    // Nothing may come from anywhere else; the page's own style and script run by their hashes.
    piece_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
              "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src " +
              std::string(report::StyleHash) + "; script-src " + std::string(report::ScriptHash) +
              "; base-uri 'none'; form-action 'none'\">\n"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
              "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Match report: " +
              howMany(facts_.size(), "demo") + "</title>\n<style>" + std::string(report::Style) +
              "</style>\n</head>\n<body>\n<header><h1>Match report</h1>\n<p class=\"lede\">" +
              howMany(facts_.size(), "demo") + ", " + howMany(levels, "level") + ", " +
              std::string(stamp_.format(playTime)) +
              " of play, as kest read them.</p></header>\n<main>\n"
              "<section id=\"demos\"><h2>Demos</h2>\n<div class=\"wide\"><table class=\"summary\">\n"
              "<thead><tr><th>Demo<th>Map<th>Play time<th>Players<th>Leader<th>Score</thead>\n<tbody>\n";
}

// File, maps, play time, players, and the leader and score line of the level with the most deaths.
void HtmlPieces::addSummaryRow(const DemoFacts& facts, std::size_t number)
{
    piece_ += "<tr><td><a href=\"#d" + std::to_string(number) + "\">" + fileHtml(facts.file) + "</a><td>";
    std::vector<std::string> maps;
    std::vector<std::string_view> players;
    for (const LevelFacts& level : facts.levels) {
        const std::string title = levelTitle(level);
        if (std::find(maps.begin(), maps.end(), title) == maps.end())
            maps.push_back(title);
        for (const PlayerTally& tally : level.players) {
            if (std::find(players.begin(), players.end(), tally.name) == players.end())
                players.push_back(tally.name);
        }
    }
    for (std::size_t i = 0; i < maps.size(); ++i)
        piece_ += (i ? "<br>" : "") + maps[i];
    piece_ += maps.empty() ? None : "";
    piece_ += "<td data-v=\"" + std::to_string(facts.playTime / 10) + "\">";
    piece_ += stamp_.format(facts.playTime);
    piece_ += "<td data-v=\"" + std::to_string(players.size()) + "\">";
    for (std::size_t i = 0; i < players.size(); ++i)
        piece_ += (i ? ", " : "") + demoHtml(players[i]);
    piece_ += players.empty() ? None : "";
    const LevelFacts* const level = decidingLevel(facts);
    if (!level || level->players.empty()) {
        piece_ += "<td>" + std::string(None) + "<td data-v=\"0\">" + None + "</tr>\n";
        return;
    }
    const PlayerTally& first = level->players[0];
    const bool tie = level->players.size() > 1 && level->players[1].score() == first.score();
    piece_ += "<td>" + (tie ? std::string("(tie)") : demoHtml(first.name));
    piece_ += "<td data-v=\"" + std::to_string(first.score()) + "\">" + demoHtml(first.name) + " " +
              std::to_string(first.score());
    if (level->players.size() > 1) {
        const PlayerTally& second = level->players[1];
        piece_ += " " + std::string(EnDash) + " " + std::to_string(second.score()) + " " + demoHtml(second.name);
    }
    piece_ += "</tr>\n";
}

void HtmlPieces::addDemo(std::size_t number)
{
    const DemoFacts& facts = facts_[number - 1];
    piece_ += "<section class=\"demo\" id=\"d" + std::to_string(number) + "\">\n<h2>" + fileHtml(facts.file) +
              "</h2>\n<p class=\"facts\">";
    piece_ += facts.format == "mvd2" ? "Server's multi-view recording" : "Player's demo";
    piece_ += facts.compressed ? ", gzip-compressed" : "";
    if (facts.protocol)
        piece_ += Dot + std::string("protocol ") + std::to_string(*facts.protocol);
    if (facts.minorVersion)
        piece_ += ", minor version " + std::to_string(*facts.minorVersion);
    if (!facts.gameDirectory.empty())
        piece_ += Dot + std::string("game directory ") + demoHtml(facts.gameDirectory);
    piece_ += Dot + std::to_string(facts.size) + " bytes" + Dot;
    piece_ += stamp_.format(facts.playTime);
    piece_ += " of play</p>\n";
    if (facts.damagedAt)
        piece_ += "<p class=\"warning\">Damaged at byte " + std::to_string(*facts.damagedAt) +
                  ": what follows is skipped.</p>\n";
    if (facts.stoppedAt)
        piece_ += "<p class=\"warning\">Stops at byte " + std::to_string(facts.stoppedAt->offset) + ": " +
                  fileHtml(facts.stoppedAt->error) + "</p>\n";
    if (facts.unexplainedFrags > 0)
        piece_ += "<p class=\"note\">" + howMany(static_cast<std::size_t>(facts.unexplainedFrags), "frag line") +
                  " named no player kest knew, and counted for no one.</p>\n";
    if (facts.levels.empty())
        piece_ += "<p class=\"note\">No level: the recording holds no server data.</p>\n";
    for (std::size_t level = 0; level < facts.levels.size(); ++level)
        addLevel(facts, number, level);

    std::size_t frags = 0;
    std::size_t notices = 0;
    std::size_t chats = 0;
    DemoMessages counting(list_, demos_[number - 1]);
    while (const auto message = counting.next()) {
        switch (message->record.kind) {
        case RecordKind::Frag: ++frags; break;
        case RecordKind::ClientServer: ++notices; break;
        default: ++chats;
        }
    }
    const std::size_t messages = frags + notices + chats;
    if (messages == 0) {
        piece_ += "<p class=\"note\">No messages.</p>\n</section>\n";
        return;
    }
    // Folded until opened: thousands of demos' messages would otherwise make the page endless.
    piece_ += "<details class=\"messages\"><summary>" + howMany(messages, "message") + ": " + std::to_string(frags) +
              " FRAG, " + std::to_string(notices) + " CLSV, " + std::to_string(chats) +
              " CHAT</summary>\n<div class=\"wide\"><table class=\"log\">\n"
              "<thead><tr><th>Time<th>Kind<th>Text</thead>\n<tbody>\n";
    messages_.emplace(list_, demos_[number - 1]);
}

void HtmlPieces::addLevel(const DemoFacts& facts, std::size_t demoNumber, std::size_t levelNumber)
{
    const LevelFacts& level = facts.levels[levelNumber];
    piece_ += "<section class=\"level\" id=\"d" + std::to_string(demoNumber) + "-" + std::to_string(levelNumber + 1) +
              "\">\n<h3>" + levelTitle(level);
    if (facts.levels.size() > 1) {
        piece_ += " <span class=\"map\">from ";
        piece_ += stamp_.format(level.time);
        piece_ += "</span>";
    }
    piece_ += "</h3>\n";
    if (level.players.empty()) {
        piece_ += "<p class=\"note\">No players.</p>\n</section>\n";
        return;
    }
    piece_ += "<div class=\"boards\">\n";
    appendCountedBoard(piece_, level);
    if (level.scoreboard)
        appendGameBoard(piece_, level, stamp_);
    piece_ += "</div>\n";
    const std::vector<std::size_t> players = fragging(level);
    if (players.empty()) {
        piece_ += "<p class=\"note\">No frags.</p>\n";
    } else {
        piece_ += "<div class=\"boards\">\n";
        appendMatrix(piece_, level, players);
        appendChart(piece_, level, levelEnd(facts, levelNumber), players);
        piece_ += "</div>\n";
    }
    piece_ += "</section>\n";
}

// A row of the messages: the cells' end tags, which HTML lets go, are left out, as thousands of rows repeat them.
void HtmlPieces::addMessage(const DemoMessages::Message& message)
{
    std::string_view line = message.record.text;
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    const std::string_view kind = messageKindName(message.record.kind);
    piece_ += "<tr class=";
    piece_ += kind;
    piece_ += "><td>";
    piece_ += stamp_.format(message.record.time);
    piece_ += "<td>";
    piece_ += kind;
    piece_ += "<td>";
    addDemoText(line);
    piece_ += "</tr>\n";
}

void HtmlPieces::addDemoText(std::string_view text)
{
    text_.clear();
    appendConsoleText(text_, text);
    appendEscaped(piece_, text_);
}

bool HtmlWriter::write(const MessageList& list, const std::string& fileName, Platform& platform)
{
    HtmlPieces pieces(list);
    return platform.replaceFile(fileName, pieces);
}

}  // namespace kest
