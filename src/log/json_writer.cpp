#include "log/json_writer.h"

#include "log/json_out.h"
#include "log/readable_text.h"
#include "log/time_stamp.h"

namespace kest {
namespace {

// Seconds by the log's clock: whole ones, as its time stamps show them.
std::int64_t seconds(std::int64_t blocks) { return blocks / 10; }

}  // namespace

// The facts as JSON. Every text from a demo goes in the console's plain ASCII, the names of
// files in UTF-8.
class FactsJson {
public:
    JsonOut& out() { return json_; }

    // A demo's facts, all but its messages, and the start of their list.
    void startDemo(const DemoFacts& facts)
    {
        json_.beginObject().key("file").text(validUtf8(facts.file));
        json_.key("size").number(static_cast<std::int64_t>(facts.size));
        json_.key("format").plainText(facts.format);
        json_.key("compressed").boolean(facts.compressed);
        json_.key("protocol");
        optionalNumber(facts.protocol);
        if (facts.format == "mvd2") {
            json_.key("minor");
            optionalNumber(facts.minorVersion);
        }
        json_.key("gamedir");
        demoText(facts.gameDirectory);
        json_.key("seconds").number(seconds(facts.playTime));
        json_.key("damaged_at");
        optionalNumber(facts.damagedAt);
        json_.key("stopped_at");
        if (facts.stoppedAt)
            json_.beginObject()
                .key("offset")
                .number(static_cast<std::int64_t>(facts.stoppedAt->offset))
                .key("error")
                .text(validUtf8(facts.stoppedAt->error))
                .endObject();
        else
            json_.null();
        json_.key("levels").beginArray();
        for (const LevelFacts& level : facts.levels)
            this->level(level);
        json_.endArray();
        json_.key("unexplained_frags").number(facts.unexplainedFrags);
        json_.key("messages").beginArray();
    }

    void message(const DemoMessages::Message& message)
    {
        std::string_view line = message.record.text;
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        json_.beginObject().key("seconds").number(seconds(message.record.time));
        json_.key("time").plainText(stamp_.format(message.record.time));
        json_.key("kind").plainText(messageKindName(message.record.kind));
        json_.key("text");
        demoText(line);
        if (const auto& death = message.death) {
            json_.key("victim");
            demoText(death->victim);
            json_.key("killer");
            optionalDemoText(death->killer);
            json_.key("means").plainText(death->obituary->means);
            json_.key("weapon");
            if (death->obituary->weapon.empty())
                json_.null();
            else
                json_.plainText(death->obituary->weapon);
            json_.key("team_kill").boolean(death->teamKill);
        }
        json_.endObject();
    }

    void endDemo() { json_.endArray().endObject().endLine(); }

private:
    void level(const LevelFacts& level)
    {
        json_.beginObject().key("name");
        optionalDemoText(level.name);
        json_.key("map");
        optionalDemoText(level.map);
        json_.key("from").number(seconds(level.time));
        json_.key("players").beginArray();
        for (const PlayerTally& tally : level.players)
            player(tally);
        json_.endArray().key("scoreboard");
        if (level.scoreboard)
            scoreboard(*level.scoreboard);
        else
            json_.null();
        json_.endObject();
    }

    void player(const PlayerTally& tally)
    {
        json_.beginObject().key("name");
        demoText(tally.name);
        json_.key("skin");
        demoText(tally.skin);
        json_.key("kills").number(tally.kills);
        json_.key("deaths").number(tally.deaths);
        json_.key("suicides").number(tally.suicides);
        json_.key("team_kills").number(tally.teamKills);
        json_.key("score").number(tally.score());
        json_.key("weapons").beginObject();
        for (const auto& [weapon, kills] : tally.weapons)
            json_.key(weapon).number(kills);
        json_.endObject().endObject();
    }

    void scoreboard(const Scoreboard& board)
    {
        json_.beginObject().key("seconds").number(seconds(board.time)).key("rows").beginArray();
        for (const ScoreboardRow& row : board.rows) {
            json_.beginObject().key("name");
            demoText(row.name);
            json_.key("score").number(row.score).key("deaths");
            optionalNumber(row.deaths);
            json_.key("ping").number(row.ping).endObject();
        }
        json_.endArray().endObject();
    }

    void demoText(std::string_view text) { json_.consoleText(text); }

    template <typename Text>
    void optionalDemoText(const std::optional<Text>& text)
    {
        if (text)
            demoText(*text);
        else
            json_.null();
    }

    template <typename Number>
    void optionalNumber(const std::optional<Number>& number)
    {
        if (number)
            json_.number(static_cast<std::int64_t>(*number));
        else
            json_.null();
    }

    JsonOut json_;
    TimeStamp stamp_;
};

JsonPieces::JsonPieces(const MessageList& list, std::size_t capacity)
    : list_(list), demos_(demosIn(list)), capacity_(capacity), json_(std::make_unique<FactsJson>())
{
}

JsonPieces::~JsonPieces() = default;

std::string_view JsonPieces::nextPiece()
{
    FactsJson& json = *json_;
    json.out().clear();
    while (json.out().written().size() < capacity_) {
        if (!messages_) {
            if (nextDemo_ == demos_.size())
                break;
            const DemoRecords demo = demos_[nextDemo_++];
            json.startDemo(demoFacts(list_, demo));
            messages_.emplace(list_, demo);
            continue;
        }
        if (const auto message = messages_->next()) {
            json.message(*message);
        } else {
            json.endDemo();
            messages_.reset();
        }
    }
    return json.out().written();
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
