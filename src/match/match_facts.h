#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "log/message_list.h"
#include "match/frag_splitter.h"
#include "match/roster.h"
#include "match/scoreboard.h"

namespace kest {

// The records of one demo in the list: from its file name up to the next demo's.
struct DemoRecords {
    std::size_t first;
    std::size_t end;
};

std::vector<DemoRecords> demosIn(const MessageList& list);

// What one player did in one level, by what the frag lines say.
struct PlayerTally {
    std::string name;
    std::string skin;
    std::int32_t kills = 0;
    std::int32_t deaths = 0;
    std::int32_t suicides = 0;  // deaths without a killer too
    std::int32_t teamKills = 0;
    std::map<std::string_view, std::int32_t> weapons;  // kills by the weapon's name, as its table has it
    // The deathmatch rule: a kill counts one, a suicide or a team mate's kill one less.
    std::int32_t score() const { return kills - suicides - teamKills; }
};

struct Scoreboard {
    std::int64_t time;
    std::vector<ScoreboardRow> rows;
};

// A player's score after a frag line that changed it.
struct ScoreStep {
    std::int64_t time;
    std::size_t player;  // in the level's players
    std::int32_t score;
};

// One level: what its server data starts, up to the next.
struct LevelFacts {
    std::int64_t time = 0;
    std::optional<std::string> name;  // as the log's "Map name" line has it; none where it has none
    std::optional<std::string> map;   // as the log's "Map filename" line has it
    std::string gameDirectory;
    std::vector<PlayerTally> players;  // by score, highest first, then by name
    std::optional<Scoreboard> scoreboard;  // the last the game showed
    // Kills and team kills, by killer and victim, as places in `players`.
    std::map<std::pair<std::size_t, std::size_t>, std::int32_t> frags;
    std::vector<ScoreStep> scoreSteps;  // only when asked for
};

struct DemoStop {
    std::uint64_t offset;
    std::string error;
};

// Everything kest knows of a demo besides its messages.
struct DemoFacts {
    std::string file;
    std::uint64_t size = 0;
    std::string format;  // "dm2" or "mvd2"
    bool compressed = false;
    std::optional<std::int32_t> protocol;      // the first server data's
    std::optional<std::int32_t> minorVersion;  // of a multi-view recording
    std::string gameDirectory;                 // the first server data's
    std::int64_t playTime = 0;                 // in blocks
    std::optional<std::uint64_t> damagedAt;
    std::optional<DemoStop> stoppedAt;
    std::vector<LevelFacts> levels;
    std::int64_t unexplainedFrags = 0;  // frag lines that name no victim
};

// Goes through a demo's records in order, as its match went: the level, its game's obituaries,
// who is in it, and what each frag line says.
class MatchReplay {
public:
    MatchReplay() = default;
    virtual ~MatchReplay() = default;

    // Takes the next record; a frag line gives the death it tells of, if it names one.
    std::optional<Death> take(const MessageRecord& record);

    // The roster of the level being played; none before the first server data.
    const Roster* roster() const { return roster_.get(); }

private:
    // A death as places in its line: the same words in a later line tell the same death, as
    // long as the roster and the game stay as they are.
    struct Places {
        std::size_t victimAt;
        std::size_t victimSize;
        std::optional<std::pair<std::size_t, std::size_t>> killer;
        const Obituary* obituary;
        bool teamKill;
    };
    static constexpr std::size_t MaxRemembered = 4096;

    std::optional<Death> split(std::string_view line);
    void forgetSplits() { splits_.clear(); }

    std::unique_ptr<Roster> roster_;
    const FragSplitter* splitter_ = nullptr;
    // Frag lines repeat: a duel's two players and a few weapons make most of them. The lines
    // are the list's, there as long as the replay is.
    std::unordered_map<std::string_view, std::optional<Places>> splits_;
};

enum class ScoreSteps { Left, Kept };

// The facts of one demo's records.
DemoFacts demoFacts(const MessageList& list, DemoRecords demo, ScoreSteps steps = ScoreSteps::Left);

// A message's kind as the log names it: "FRAG", "CLSV" or "CHAT".
std::string_view messageKindName(RecordKind kind);

// The records of a demo that the log shows as messages, one after another, each with the
// death it tells of: the same deaths as demoFacts counts.
class DemoMessages {
public:
    struct Message {
        MessageRecord record;
        std::optional<Death> death;
    };

    DemoMessages(const MessageList& list, DemoRecords demo) : list_(list), next_(demo.first), end_(demo.end) {}
    virtual ~DemoMessages() = default;

    std::optional<Message> next();

private:
    const MessageList& list_;
    std::size_t next_;
    std::size_t end_;
    MatchReplay replay_;
};

}  // namespace kest
