// kest --json end to end: kest.json beside an unchanged kest.log, by the log's rule; over every
// real recording and sample demo, lines that parse, messages that are the log's, and scoreboards
// that the count agrees with.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

#include "kest_fixture.h"
#include "log/readable_text.h"

namespace kest::e2e {
namespace {

using Json = nlohmann::json;

// The console output of a run with --json: the log's and kest.json's lines.
std::string completedWithJson(const std::string& lines)
{
    std::string output = completed(lines);
    return output.insert(output.find("Writing kest.log...\n") + 20, "Writing kest.json...\n");
}

class JsonTest : public RealRecordingTest {
public:
    void SetUp() override { KestTest::SetUp(); }
    using KestTest::run;
    using KestTest::write;

    // kest.json, each line parsed.
    std::vector<Json> demos() const
    {
        std::vector<Json> parsed;
        const std::string json = readFile(path("kest.json")).value_or("");
        for (std::size_t start = 0, end; start < json.size(); start = end + 1) {
            end = json.find('\n', start);
            if (end == std::string::npos)
                return ADD_FAILURE() << "a line without its LF", parsed;
            parsed.push_back(Json::parse(json.substr(start, end - start)));
        }
        return parsed;
    }

    // Runs kest over the demos with and without --json; checks that both print what they
    // should and write the same kest.log, and that kest.json has a line per demo whose
    // messages are the log's message lines, in order. Gives kest.json's lines.
    std::vector<Json> checkedJson(const Arguments& names, int exitCode = 0, const std::string& lines = "") const
    {
        std::string reads;
        for (const std::string& name : names)
            reads += reading(name);
        Arguments plain = {"-k"};
        plain.insert(plain.end(), names.begin(), names.end());
        const std::string expectedLines = lines.empty() ? reads : lines;
        EXPECT_EQ(run(plain).output, completed(expectedLines));
        const std::string log = this->log().value_or("");
        Arguments withJson = plain;
        withJson.insert(withJson.begin() + 1, "--json");
        const KestRun result = run(withJson);
        EXPECT_EQ(result.output, completedWithJson(expectedLines));
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(this->log(), log) << "--json changed kest.log";
        const std::vector<Json> parsed = demos();
        EXPECT_EQ(parsed.size(), names.size());
        // Each message as its log line shows it, the texts in the console's plain ASCII.
        const std::string shown = consoleText(log);
        std::size_t at = 0;
        std::size_t messages = 0;
        for (std::size_t i = 0; i < parsed.size() && i < names.size(); ++i) {
            EXPECT_EQ(parsed[i]["file"], names[i]);
            for (const Json& message : parsed[i]["messages"]) {
                const std::string line = "TIME: " + message["time"].get<std::string>() + " " +
                                         message["kind"].get<std::string>() + ": " + message["text"].get<std::string>();
                const std::size_t found = shown.find("\n" + line + "\n", at);
                EXPECT_NE(found, std::string::npos) << "not in the log after the messages before it: " << line;
                at = found == std::string::npos ? at : found + 1;
                ++messages;
            }
        }
        std::size_t logMessages = log.compare(0, 6, "TIME: ") == 0 ? 1 : 0;
        for (std::size_t line = log.find("\nTIME: "); line != std::string::npos; line = log.find("\nTIME: ", line + 1))
            ++logMessages;
        EXPECT_EQ(messages, logMessages);
        return parsed;
    }
};

// Each real recording's facts besides its messages, and its frag lines that no obituary explains:
// the notices printed at the frag level (a rename, an anti-cheat notice).
const struct {
    const char* name;
    const char* format;
    bool compressed;
    int protocol;
    const char* gameDirectory;
    int unexplained;
} RealRecordings[] = {
    {"aqtion-asylum.mvd2.gz", "mvd2", true, 37, "action", 2},
    {"aqtion-bandaging-guide.dm2", "dm2", false, 34, "action", 0},
    {"aqtion-doors-guide.dm2", "dm2", false, 34, "action", 0},
    {"aqtion-jumping-guide.dm2", "dm2", false, 34, "action", 0},
    {"libq2-opentdm.mvd2", "mvd2", false, 37, "opentdm", 0},
    {"libq2-test.dm2", "dm2", false, 34, "", 0},
    {"libq2-testduel.dm2", "dm2", false, 34, "opentdm", 1},
    {"mission64-demo1.dm2", "dm2", false, 56, "baseq64", 0},
    {"qase-bot-q2dm1.dm2", "dm2", false, 34, "", 0},
};

TEST_F(JsonTest, RealRecordingsAloneAndInOneRun)
{
    if (!fs::is_directory(RealDemos))
        GTEST_SKIP() << "no folder " << RealDemos << " of real recordings (set KEST_REAL_DEMOS_DIR)";
    const std::string stop = "WARNING: Demofile mission64-demo1.dm2 stops at byte 6256: KEST: Unknown demo format "
                             "(this_id: 0x0 prev_id: 0xE)!\n";
    std::string lines;
    Arguments all;
    for (const auto& expected : RealRecordings) {
        const std::string name = expected.name;
        SCOPED_TRACE(name);
        write(name, recording(name));
        const bool stops = name == "mission64-demo1.dm2";
        lines += reading(name) + (stops ? stop : "");
        all.push_back(name);
        const Json demo = checkedJson({name}, stops ? 2 : 0, reading(name) + (stops ? stop : "")).at(0);
        EXPECT_EQ(demo["format"], expected.format);
        EXPECT_EQ(demo["compressed"], expected.compressed);
        EXPECT_EQ(demo["protocol"], expected.protocol);
        EXPECT_EQ(demo["gamedir"], expected.gameDirectory);
        const Json stopped = {{"offset", 6256}, {"error", stop.substr(stop.find("KEST"), 54)}};
        EXPECT_EQ(demo["stopped_at"], stops ? stopped : Json());
        EXPECT_EQ(demo["unexplained_frags"], expected.unexplained);
    }
    checkedJson(all, 2, lines);
}

TEST_F(JsonTest, SampleDemos)
{
    for (const std::string name : {"cistern-duel.dm2", "foundry-dm.dm2", "foundry-dm.mvd2"}) {
        const std::string bytes = readFile(fs::path(KEST_EXAMPLES_DIR) / name).value_or("");
        write(name, Bytes(bytes.begin(), bytes.end()));
    }
    const auto demos = checkedJson({"cistern-duel.dm2", "foundry-dm.dm2", "foundry-dm.mvd2"});
    // The same match, from the player's recording and the server's, gives the same facts; a
    // message may come a frame later in one than in the other.
    ASSERT_EQ(demos.size(), 3u);
    EXPECT_EQ(demos[1]["levels"].dump(), demos[2]["levels"].dump());
    const auto untimed = [](Json messages) {
        for (Json& message : messages)
            message.erase("seconds"), message.erase("time");
        return messages.dump();
    };
    EXPECT_EQ(untimed(demos[1]["messages"]), untimed(demos[2]["messages"]));
}
// Names and texts that JSON must escape come out as the console shows them, each line valid JSON;
// kest.json is written by the log's rule: a run that fails leaves an earlier one as it was.
TEST_F(JsonTest, HostileNamesAndTheLogsRule)
{
    const std::vector<std::string> names = {
        "\"q\" /b/", "\x01\x1F\x7F\x8A\x9B", "</script><img src=x onerror=alert(1)>", std::string(1000, 'W'),
        "\xC1\xEC\xE9\xE3\xE5 \x90" "1\x91",
    };
    MessageWriter level = serverData(34, 1, "Arena");
    for (std::size_t slot = 0; slot < names.size(); ++slot)
        level.configString(static_cast<std::uint16_t>(1312 + slot), names[slot] + "\\male/grunt");
    std::vector<MessageWriter> blocks = {level};
    for (std::size_t slot = 0; slot < names.size(); ++slot)
        blocks.push_back(MessageWriter().print(1, names[slot] + " was railed by " + names[(slot + 1) % names.size()] + "\n"));
    blocks.push_back(MessageWriter().print(3, names[0] + ": \"\\\t\x81\n"));
    write("hostile.dm2", demo(blocks));
    const auto demos = checkedJson({"hostile.dm2"});
    ASSERT_EQ(demos.size(), 1u);
    std::vector<std::string> players;
    for (const Json& player : demos[0]["levels"][0]["players"])
        players.push_back(player["name"]);
    // All score one, so they come in byte order of their names.
    std::vector<std::string> shown = names;
    std::sort(shown.begin(), shown.end());
    std::transform(shown.begin(), shown.end(), shown.begin(), [](const std::string& name) { return consoleText(name); });
    EXPECT_EQ(players, shown);
    const Json& messages = demos[0]["messages"];
    ASSERT_EQ(messages.size(), names.size() + 1);
    for (std::size_t slot = 0; slot < names.size(); ++slot) {
        EXPECT_EQ(messages[slot]["victim"], consoleText(names[slot]));
        EXPECT_EQ(messages[slot]["killer"], consoleText(names[(slot + 1) % names.size()]));
    }
    EXPECT_EQ(messages[names.size()]["text"], consoleText(names[0]) + ": \"\\\t.");

    // The page shows the names as text, never as its own markup.
    run({"--html", "hostile.dm2"});
    const std::string page = readFile(path("kest.html")).value_or("");
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);

    const std::string earlier = readFile(path("kest.json")).value_or("");
    EXPECT_EQ(runKeepingLog({"-j", "hostile.dm2", "missing.dm2"}).exitCode, 1);
    EXPECT_EQ(readFile(path("kest.json")), earlier) << "a run that failed changed kest.json";
}

// The first level of a recording cut at a block's length field, as kest.json has it.
Json levelOfCut(const JsonTest& test, const Bytes& whole, std::size_t cut, const std::string& name)
{
    test.write(name, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    test.run({"--json", name});
    const std::vector<Json> demos = test.demos();
    return demos.size() == 1 && !demos[0]["levels"].empty() ? demos[0]["levels"][0] : Json();
}

// Score and deaths, by name.
using Figures = std::map<std::string, std::pair<int, int>>;

Figures shown(const Json& scoreboard)
{
    Figures figures;
    for (const Json& row : scoreboard["rows"])
        figures[row["name"]] = {row["score"], row["deaths"]};
    return figures;
}

Figures counted(const Json& level)
{
    Figures figures;
    for (const Json& player : level["players"])
        figures[player["name"]] = {player["score"], player["deaths"]};
    return figures;
}

// Where a recording shows the game's scoreboard twice, what kest counts between the two is what
// the scoreboard's figures grew by. The recording is cut at the first block after which
// kest.json shows the first scoreboard, and at the first after which it shows the last.
TEST_F(JsonTest, CountAgreesWithTheGamesScoreboards)
{
    if (!fs::is_directory(RealDemos))
        GTEST_SKIP() << "no folder " << RealDemos << " of real recordings (set KEST_REAL_DEMOS_DIR)";
    for (const std::string name : {"libq2-testduel.dm2", "libq2-opentdm.mvd2"}) {
        SCOPED_TRACE(name);
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const Json last = levelOfCut(*this, whole, whole.size(), name)["scoreboard"];
        ASSERT_TRUE(last.is_object());
        const auto firstCut = [&](auto shows) {
            const auto found = std::partition_point(fields.begin(), fields.end(), [&](std::size_t cut) {
                return !shows(levelOfCut(*this, whole, cut, name)["scoreboard"]);
            });
            return levelOfCut(*this, whole, *found, name);
        };
        const Json before = firstCut([](const Json& board) { return board.is_object(); });
        const Json after = firstCut([&](const Json& board) { return board == last; });
        ASSERT_LT(before["scoreboard"]["seconds"], after["scoreboard"]["seconds"]);
        const Figures shownBefore = shown(before["scoreboard"]);
        const Figures shownAfter = shown(after["scoreboard"]);
        const Figures countedBefore = counted(before);
        Figures countedAfter = counted(after);
        ASSERT_FALSE(shownAfter.empty());
        for (const auto& [player, figures] : shownAfter) {
            SCOPED_TRACE(player);
            const auto [scoreBefore, deathsBefore] = shownBefore.at(player);
            const auto [countedScoreBefore, countedDeathsBefore] = countedBefore.at(player);
            EXPECT_EQ(countedAfter.at(player).first - countedScoreBefore, figures.first - scoreBefore);
            EXPECT_EQ(countedAfter.at(player).second - countedDeathsBefore, figures.second - deathsBefore);
        }
        EXPECT_NE(shownAfter, shownBefore) << "nothing happened between the two";
    }
}

}  // namespace
}  // namespace kest::e2e
