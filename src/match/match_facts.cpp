#include "match/match_facts.h"

#include <algorithm>
#include <charconv>

namespace kest {
namespace {

// A game's obituaries are made ready once a run, whatever the number of its levels.
const FragSplitter& splitterFor(std::string_view gameDirectory)
{
    static std::map<const ObituaryTable*, std::unique_ptr<FragSplitter>> splitters;
    const ObituaryTable& table = obituariesFor(gameDirectory);
    std::unique_ptr<FragSplitter>& splitter = splitters[&table];
    if (!splitter)
        splitter = std::make_unique<FragSplitter>(table);
    return *splitter;
}

template <typename Number>
std::optional<Number> decimal(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// What a level's frag lines add up to, by name, until the level ends.
class LevelTally {
public:
    LevelTally(LevelFacts& level, ScoreSteps steps) : level_(level), keepsSteps_(steps == ScoreSteps::Kept) {}

    void count(std::int64_t time, const Death& death)
    {
        byName_[death.victim].deaths++;
        if (!death.killer) {
            PlayerTally& victim = byName_[death.victim];
            victim.suicides++;
            step(time, death.victim, victim);
            return;
        }
        PlayerTally& killer = byName_[*death.killer];
        if (death.teamKill) {
            killer.teamKills++;
        } else {
            killer.kills++;
            if (!death.obituary->weapon.empty())
                killer.weapons[death.obituary->weapon]++;
        }
        frags_[{&killer, &byName_[death.victim]}]++;
        step(time, *death.killer, killer);
    }

    // Everyone the level named, with what they did, in the order of the scoreboard.
    void finish(const Roster& roster)
    {
        for (const Roster::Seen& seen : roster.everyone()) {
            PlayerTally tally = byName_[seen.name];
            tally.name = seen.name;
            tally.skin = seen.skin;
            level_.players.push_back(std::move(tally));
        }
        std::sort(level_.players.begin(), level_.players.end(), [](const PlayerTally& a, const PlayerTally& b) {
            return a.score() != b.score() ? a.score() > b.score() : a.name < b.name;
        });
        std::map<std::string_view, std::size_t> place;
        for (std::size_t i = 0; i < level_.players.size(); ++i)
            place.emplace(level_.players[i].name, i);
        std::unordered_map<const PlayerTally*, std::size_t> placeOf;
        for (const auto& [name, tally] : byName_)
            placeOf.emplace(&tally, place.at(name));
        for (const auto& [players, count] : frags_)
            level_.frags[{placeOf.at(players.first), placeOf.at(players.second)}] = count;
        for (const auto& [time, name, score] : steps_)
            level_.scoreSteps.push_back({time, place.at(name), score});
    }

private:
    void step(std::int64_t time, std::string_view name, const PlayerTally& tally)
    {
        if (keepsSteps_)
            steps_.emplace_back(time, name, tally.score());
    }

    LevelFacts& level_;
    bool keepsSteps_;
    std::unordered_map<std::string_view, PlayerTally> byName_;
    // By killer and victim; the tallies never move.
    std::map<std::pair<const PlayerTally*, const PlayerTally*>, std::int32_t> frags_;
    std::vector<std::tuple<std::int64_t, std::string_view, std::int32_t>> steps_;
};

}  // namespace

std::vector<DemoRecords> demosIn(const MessageList& list)
{
    std::vector<DemoRecords> demos;
    for (std::size_t index = 0; index < list.size(); ++index) {
        if (list.at(index).kind != RecordKind::DemoFileName)
            continue;
        if (!demos.empty())
            demos.back().end = index;
        demos.push_back({index, list.size()});
    }
    return demos;
}

std::optional<Death> MatchReplay::take(const MessageRecord& record)
{
    switch (record.kind) {
    case RecordKind::Protocol:
        // Every server data starts a level, in the original game until its directory says otherwise.
        roster_ = std::make_unique<Roster>();
        splitter_ = &splitterFor({});
        forgetSplits();
        return std::nullopt;
    case RecordKind::GameDirectory:
        if (roster_)
            splitter_ = &splitterFor(record.text);
        forgetSplits();
        return std::nullopt;
    case RecordKind::Frag: {
        if (!roster_)
            return std::nullopt;
        std::string_view line = record.text;
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        return split(line);
    }
    default:
        if (const auto slot = playerSlotOf(record.kind); slot && roster_) {
            roster_->setPlayer(*slot, record.text);
            forgetSplits();
        }
        return std::nullopt;
    }
}

std::optional<Death> MatchReplay::split(std::string_view line)
{
    const auto remembered = splits_.find(line);
    if (remembered != splits_.end()) {
        const std::optional<Places>& places = remembered->second;
        if (!places)
            return std::nullopt;
        const auto killer = places->killer ? std::optional(line.substr(places->killer->first, places->killer->second))
                                           : std::nullopt;
        return Death{line.substr(places->victimAt, places->victimSize), killer, places->obituary, places->teamKill};
    }
    // A player who left or took another name may still be named by the lines after.
    std::optional<Death> death = splitter_->split(line, roster_->currentNames());
    if (!death)
        death = splitter_->split(line, roster_->everyName());
    if (splits_.size() == MaxRemembered)
        forgetSplits();
    const auto at = [&](std::string_view name) { return static_cast<std::size_t>(name.data() - line.data()); };
    std::optional<Places>& places = splits_[line];
    if (death) {
        places = Places{at(death->victim), death->victim.size(), std::nullopt, death->obituary, death->teamKill};
        if (death->killer)
            places->killer = std::pair(at(*death->killer), death->killer->size());
    }
    return death;
}

std::string_view messageKindName(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Frag: return "FRAG";
    case RecordKind::ClientServer: return "CLSV";
    default: return "CHAT";
    }
}

std::optional<DemoMessages::Message> DemoMessages::next()
{
    while (next_ < end_) {
        const MessageRecord record = list_.at(next_++);
        const std::optional<Death> death = replay_.take(record);
        if (record.kind == RecordKind::Frag || record.kind == RecordKind::ClientServer ||
            record.kind == RecordKind::Chat)
            return Message{record, death};
    }
    return std::nullopt;
}

DemoFacts demoFacts(const MessageList& list, DemoRecords demo, ScoreSteps steps)
{
    DemoFacts facts;
    MatchReplay replay;
    std::optional<LevelTally> tally;
    const auto finishLevel = [&] {
        if (tally)
            tally->finish(*replay.roster());
    };
    for (std::size_t index = demo.first; index < demo.end; ++index) {
        const MessageRecord record = list.at(index);
        if (record.kind == RecordKind::Protocol)
            finishLevel();
        const std::optional<Death> death = replay.take(record);
        LevelFacts* const level = facts.levels.empty() ? nullptr : &facts.levels.back();
        switch (record.kind) {
        case RecordKind::DemoFileName: facts.file = record.text; break;
        case RecordKind::DemoFileSize: facts.size = decimal<std::uint64_t>(record.text).value_or(0); break;
        case RecordKind::DemoFormat: facts.format = record.text; break;
        case RecordKind::Compressed: facts.compressed = true; break;
        case RecordKind::PlayTime: facts.playTime = record.time; break;
        case RecordKind::DamageOffset: facts.damagedAt = decimal<std::uint64_t>(record.text); break;
        case RecordKind::StopOffset: facts.stoppedAt = DemoStop{decimal<std::uint64_t>(record.text).value_or(0), {}}; break;
        case RecordKind::StopError:
            if (facts.stoppedAt)
                facts.stoppedAt->error = record.text;
            break;
        case RecordKind::Protocol:
            if (facts.levels.empty())
                facts.protocol = decimal<std::int32_t>(record.text);
            facts.levels.emplace_back().time = record.time;
            tally.emplace(facts.levels.back(), steps);
            break;
        case RecordKind::MinorVersion:
            if (facts.levels.size() == 1)
                facts.minorVersion = decimal<std::int32_t>(record.text);
            break;
        case RecordKind::GameDirectory:
            if (facts.levels.size() == 1)
                facts.gameDirectory = record.text;
            if (level)
                level->gameDirectory = record.text;
            break;
        case RecordKind::MapName:
            if (level && !level->name)
                level->name = record.text;
            break;
        case RecordKind::MapFile:
            if (level && !level->map)
                level->map = record.text;
            break;
        case RecordKind::Layout:
            if (level) {
                if (auto rows = readScoreboard(record.text, *replay.roster()))
                    level->scoreboard = Scoreboard{record.time, std::move(*rows)};
            }
            break;
        case RecordKind::Frag:
            if (death)
                tally->count(record.time, *death);
            else
                facts.unexplainedFrags++;
            break;
        default: break;
        }
    }
    finishLevel();
    return facts;
}

}  // namespace kest
