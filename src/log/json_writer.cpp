#include "log/json_writer.h"

#include <nlohmann/json.hpp>

#include "log/readable_text.h"

namespace kest {
namespace {

using Json = nlohmann::ordered_json;

// Every text from a demo is in the console's plain ASCII; the names of files are UTF-8.
Json text(std::string_view demoText) { return consoleText(demoText); }

template <typename Value, typename Convert>
Json orNull(const std::optional<Value>& value, Convert convert)
{
    return value ? Json(convert(*value)) : Json(nullptr);
}

// Seconds by the log's clock: whole ones, as its time stamps show them.
Json seconds(std::int64_t blocks) { return blocks / 10; }

Json player(const PlayerTally& tally)
{
    Json weapons = Json::object();
    for (const auto& [weapon, kills] : tally.weapons)
        weapons[weapon] = kills;
    return {{"name", text(tally.name)},     {"skin", text(tally.skin)},          {"kills", tally.kills},
            {"deaths", tally.deaths},       {"suicides", tally.suicides},        {"team_kills", tally.teamKills},
            {"score", tally.score()},       {"weapons", std::move(weapons)}};
}

Json scoreboard(const Scoreboard& board)
{
    Json rows = Json::array();
    for (const ScoreboardRow& row : board.rows)
        rows.push_back({{"name", text(row.name)},
                        {"score", row.score},
                        {"deaths", orNull(row.deaths, [](std::int32_t deaths) { return deaths; })},
                        {"ping", row.ping}});
    return {{"seconds", seconds(board.time)}, {"rows", std::move(rows)}};
}

Json level(const LevelFacts& level)
{
    Json players = Json::array();
    for (const PlayerTally& tally : level.players)
        players.push_back(player(tally));
    return {{"name", orNull(level.name, consoleText)},
            {"map", orNull(level.map, consoleText)},
            {"from", seconds(level.time)},
            {"players", std::move(players)},
            {"scoreboard", orNull(level.scoreboard, scoreboard)}};
}

// A demo's facts, all but its messages.
Json demo(const DemoFacts& facts)
{
    Json object = {{"file", validUtf8(facts.file)},
                   {"size", facts.size},
                   {"format", facts.format},
                   {"compressed", facts.compressed},
                   {"protocol", orNull(facts.protocol, [](std::int32_t protocol) { return protocol; })}};
    if (facts.format == "mvd2")
        object["minor"] = orNull(facts.minorVersion, [](std::int32_t minor) { return minor; });
    object["gamedir"] = text(facts.gameDirectory);
    object["seconds"] = seconds(facts.playTime);
    object["damaged_at"] = orNull(facts.damagedAt, [](std::uint64_t offset) { return offset; });
    object["stopped_at"] = orNull(facts.stoppedAt, [](const DemoStop& stop) {
        return Json{{"offset", stop.offset}, {"error", validUtf8(stop.error)}};
    });
    Json levels = Json::array();
    for (const LevelFacts& facts_of_level : facts.levels)
        levels.push_back(level(facts_of_level));
    object["levels"] = std::move(levels);
    object["unexplained_frags"] = facts.unexplainedFrags;
    return object;
}

std::string dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

JsonPieces::JsonPieces(const MessageList& list, std::size_t capacity)
    : list_(list), demos_(demosIn(list)), capacity_(capacity)
{
}

std::string_view JsonPieces::nextPiece()
{
    piece_.clear();
    while (piece_.size() < capacity_) {
        if (!messages_ && !startDemo())
            break;
        if (const auto message = messages_->next()) {
            addMessage(*message);
        } else {
            piece_ += "]}\n";
            messages_.reset();
        }
    }
    return piece_;
}

bool JsonPieces::startDemo()
{
    if (nextDemo_ == demos_.size())
        return false;
    const DemoRecords demo = demos_[nextDemo_++];
    std::string head = dump(kest::demo(demoFacts(list_, demo)));
    // The messages come last, one at a time.
    head.pop_back();
    piece_ += head;
    piece_ += ",\"messages\":[";
    messages_.emplace(list_, demo);
    firstMessage_ = true;
    return true;
}

void JsonPieces::addMessage(const DemoMessages::Message& message)
{
    std::string_view line = message.record.text;
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    Json object = {{"seconds", seconds(message.record.time)},
                   {"time", std::string(stamp_.format(message.record.time))},
                   {"kind", messageKindName(message.record.kind)},
                   {"text", text(line)}};
    if (const auto& death = message.death) {
        object["victim"] = text(death->victim);
        object["killer"] = orNull(death->killer, consoleText);
        object["means"] = death->obituary->means;
        object["weapon"] = death->obituary->weapon.empty() ? Json(nullptr) : Json(death->obituary->weapon);
        object["team_kill"] = death->teamKill;
    }
    if (!firstMessage_)
        piece_ += ',';
    firstMessage_ = false;
    piece_ += dump(object);
}

std::string JsonWriter::render(const MessageList& list)
{
    std::string json;
    JsonPieces(list).writeWith([&json](std::string_view piece) {
        json += piece;
        return true;
    });
    return json;
}

bool JsonWriter::write(const MessageList& list, const std::string& fileName, Platform& platform)
{
    JsonPieces pieces(list);
    return platform.replaceFile(fileName, pieces);
}

}  // namespace kest
