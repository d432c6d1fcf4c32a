// Every real recording and sample demo, alone and all in one run: its log against the log made
// for it independently, its kest.json line beside an unchanged log, the same log when gzipped;
// then the real recordings cut short, where kest must keep to its defined messages, and the
// games' own scoreboards against what kest counts.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <numeric>
#include <set>

#include "gzip_writer/gzip_writer.h"
#include "kest_fixture.h"
#include "log/readable_text.h"

namespace kest::e2e {
namespace {

using Json = nlohmann::json;

const std::string Mission64Error = "KEST: Unknown demo format (this_id: 0x0 prev_id: 0xE)!";

struct Recording {
    const char* name;
    bool sample;  // one of the project's sample demos, which have no log made for them
    const char* format;
    bool compressed;
    int protocol;
    const char* gameDirectory;
    int unexplained;  // frag lines that no obituary explains: a rename, an anti-cheat notice
    long long stopsAt;  // the code byte of the data that -k stops the recording at, or -1
};

std::ostream& operator<<(std::ostream& out, const Recording& recording) { return out << recording.name; }

// In byte order of their names, the real ones first.
const Recording Recordings[] = {
    {"aqtion-asylum.mvd2.gz", false, "mvd2", true, 37, "action", 2, -1},
    {"aqtion-bandaging-guide.dm2", false, "dm2", false, 34, "action", 0, -1},
    {"aqtion-doors-guide.dm2", false, "dm2", false, 34, "action", 0, -1},
    {"aqtion-jumping-guide.dm2", false, "dm2", false, 34, "action", 0, -1},
    {"libq2-opentdm.mvd2", false, "mvd2", false, 37, "opentdm", 0, -1},
    {"libq2-test.dm2", false, "dm2", false, 34, "", 0, -1},
    {"libq2-testduel.dm2", false, "dm2", false, 34, "opentdm", 1, -1},
    {"mission64-demo1.dm2", false, "dm2", false, 56, "baseq64", 0, 6256},
    {"qase-bot-q2dm1.dm2", false, "dm2", false, 34, "", 0, -1},
    {"cistern-duel.dm2", true, "dm2", false, 34, "", 0, -1},
    {"foundry-dm.dm2", true, "dm2", false, 34, "", 0, -1},
    {"foundry-dm.mvd2", true, "mvd2", false, 37, "baseq2", 0, -1},
};

class JsonRunTest : public RealRecordingTest {
protected:
    void SetUp() override { KestTest::SetUp(); }

    static Bytes bytesOf(const std::string& name, bool sample)
    {
        if (!sample)
            return recording(name);
        const std::string bytes = readFile(fs::path(KEST_EXAMPLES_DIR) / name).value_or("");
        return Bytes(bytes.begin(), bytes.end());
    }

    // The log lines of a recording read alone, after its header's first two; the stopped one ends in its map's lines.
    static std::string logAfterHeader(const Recording& recording)
    {
        if (recording.stopsAt >= 0)
            return "Map name: Welcome to Mission 64\nMap filename: TITLEMAP.BSP\n";
        const std::string log = expectedLog(recording.name);
        return log.substr(std::min(log.size(), log.find('\n', log.find('\n') + 1) + 1));
    }

    static std::string stops(const Recording& recording, const std::string& name)
    {
        return recording.stopsAt < 0 ? "" : stopsWarning(name, recording.stopsAt, Mission64Error);
    }

    // kest.json, each line parsed.
    std::vector<Json> json() const
    {
        std::vector<Json> parsed;
        const std::string text = readFile(path("kest.json")).value_or("");
        for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            if (end == std::string::npos)
                return ADD_FAILURE() << "a line without its LF", parsed;
            parsed.push_back(Json::parse(text.substr(start, end - start)));
        }
        return parsed;
    }

    // Runs kest without and with --json, expecting the same lines and log; checks that kest.json has a
    // line per demo read whose messages are the log's message lines in order, in the console's plain ASCII.
    std::vector<Json> jsonBesideTheLog(Arguments arguments, const Arguments& names, const std::string& lines,
                                       int exitCode) const
    {
        const std::string log = completedLog(arguments, lines, exitCode).value_or("");
        arguments.insert(arguments.begin(), "--json");
        const KestRun result = run(arguments);
        std::string output = completed(lines);
        EXPECT_EQ(result.output, output.insert(output.find("Writing kest.log...\n") + 20, "Writing kest.json...\n"));
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(this->log(), log) << "--json changed kest.log";
        const std::vector<Json> demos = json();
        EXPECT_EQ(demos.size(), names.size());
        const std::string shown = consoleText(log);
        std::size_t at = 0, messages = 0;
        for (std::size_t i = 0; i < demos.size() && i < names.size(); ++i) {
            EXPECT_EQ(demos[i]["file"], names[i]);
            for (const Json& message : demos[i]["messages"]) {
                const std::string line = "\nTIME: " + message["time"].get<std::string>() + " " +
                                         message["kind"].get<std::string>() + ": " + message["text"].get<std::string>();
                const std::size_t found = shown.find(line + "\n", at);
                EXPECT_NE(found, std::string::npos) << "not in the log after the messages before it:" << line;
                at = found == std::string::npos ? at : found + 1;
                ++messages;
            }
        }
        std::size_t logMessages = 0;
        for (std::size_t line = log.find("TIME: "); line != std::string::npos; line = log.find("\nTIME: ", line + 1))
            ++logMessages;
        EXPECT_EQ(messages, logMessages);
        return demos;
    }
};

class RealJsonRunTest : public JsonRunTest {
protected:
    void SetUp() override { RealRecordingTest::SetUp(); }

    // The first level of a recording cut at a block's length field, as kest.json has it.
    Json levelOfCut(const Bytes& whole, std::size_t cut, const std::string& name) const
    {
        write(name, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        run({"--json", name});
        const std::vector<Json> demos = json();
        return demos.size() == 1 && !demos[0]["levels"].empty() ? demos[0]["levels"][0] : Json();
    }
};

class RecordingTest : public JsonRunTest, public ::testing::WithParamInterface<Recording> {
protected:
    void SetUp() override { GetParam().sample ? KestTest::SetUp() : RealRecordingTest::SetUp(); }
};

TEST_P(RecordingTest, AloneCompressedAndInJson)
{
    const Recording& recording = GetParam();
    const Bytes bytes = bytesOf(recording.name, recording.sample);
    ASSERT_FALSE(bytes.empty());
    const std::string name = recording.name;
    write(name, bytes);
    const std::string stop = stops(recording, name);
    if (!stop.empty()) {
        const KestRun result = runKeepingLog({name});
        EXPECT_EQ(result.output, failed(reading(name), Mission64Error));
        EXPECT_EQ(result.exitCode, 1);
    }
    const int exitCode = stop.empty() ? 0 : 2;
    const Json demo = jsonBesideTheLog({"-k", name}, {name}, reading(name) + stop, exitCode).at(0);
    const std::string log = this->log().value_or("");
    if (!recording.sample) {
        EXPECT_EQ(log, header(name, bytes.size()) + logAfterHeader(recording));
    }
    EXPECT_EQ(demo["format"], recording.format);
    EXPECT_EQ(demo["compressed"], recording.compressed);
    EXPECT_EQ(demo["protocol"], recording.protocol);
    EXPECT_EQ(demo["gamedir"], recording.gameDirectory);
    const Json stopped = {{"offset", recording.stopsAt}, {"error", Mission64Error}};
    EXPECT_EQ(demo["stopped_at"], stop.empty() ? Json() : stopped);
    EXPECT_EQ(demo["unexplained_frags"], recording.unexplained);

    // Compressed, a recording gives the plain one's log but for its name and size.
    if (recording.compressed)
        return;
    const Bytes compressed = gzip_writer::gzip(bytes);
    write(name + ".gz", compressed);
    EXPECT_EQ(completedLog({"-k", name + ".gz"}, reading(name + ".gz") + stops(recording, name + ".gz"), exitCode),
              header(name + ".gz", compressed.size()) + log.substr(header(name, bytes.size()).size()));
}

INSTANTIATE_TEST_SUITE_P(, RecordingTest, ::testing::ValuesIn(Recordings));

// The real recordings in one run, the multi-view ones first: the one of another protocol ends
// the run after the first five of the others, or, keeping going, gives its header lines
// (no empty line parts them from the next demo's) and the others their own logs.
TEST_F(RealJsonRunTest, AllInOneRun)
{
    std::vector<Recording> order;
    std::copy_if(std::begin(Recordings), std::end(Recordings), std::back_inserter(order),
                 [](const Recording& recording) { return !recording.sample; });
    std::stable_partition(order.begin(), order.end(), [](const Recording& r) { return r.format[0] == 'm'; });
    std::string lines, log, failedLines;
    Arguments names;
    bool inMessages = false;
    for (const Recording& recording : order) {
        const Bytes bytes = bytesOf(recording.name, recording.sample);
        write(recording.name, bytes);
        if (failedLines.empty() && recording.stopsAt >= 0)
            failedLines = lines + reading(recording.name);
        lines += reading(recording.name) + stops(recording, recording.name);
        const std::string after = logAfterHeader(recording);
        log += (inMessages ? "\n" : "") + header(recording.name, bytes.size()) + after;
        inMessages = after.find("TIME: ") != std::string::npos;
        names.push_back(recording.name);
    }
    const KestRun result = runKeepingLog({"*.mvd2*", "*.dm2"});
    EXPECT_EQ(result.output, failed(failedLines, Mission64Error));
    EXPECT_EQ(result.exitCode, 1);
    jsonBesideTheLog({"*.mvd2*", "-k", "*.dm2"}, names, lines, 2);
    EXPECT_EQ(this->log(), log);
}

// The sample deathmatch as a player's client and as the server recorded it gives the same facts
// and messages but for their times (the player's connection blocks take time, the server data
// none): of each chat line that the server sends every client, kest keeps the copy to the
// recording's own.
TEST_F(JsonRunTest, SampleMatchGivesTheSameFactsInBothFormats)
{
    const Arguments names = {"foundry-dm.dm2", "foundry-dm.mvd2"};
    for (const std::string& name : names)
        write(name, bytesOf(name, true));
    const std::vector<Json> demos = jsonBesideTheLog(names, names, reading(names[0]) + reading(names[1]), 0);
    ASSERT_EQ(demos.size(), 2u);
    EXPECT_EQ(demos[0]["levels"].dump(), demos[1]["levels"].dump());
    const auto untimed = [](Json messages) {
        for (Json& message : messages)
            message.erase("seconds"), message.erase("time");
        return messages.dump();
    };
    EXPECT_EQ(untimed(demos[0]["messages"]), untimed(demos[1]["messages"]));
    EXPECT_NE(demos[0]["messages"].dump().find("\"CHAT\""), std::string::npos);
}

// Names and texts that JSON must escape come out as the console shows them, each line valid JSON;
// kest.json is written by the log's rule: a run that fails leaves an earlier one as it was.
TEST_F(JsonRunTest, HostileNamesAndTheLogsRule)
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
    write("hostile.dm2", demoOf(blocks));
    const auto demos = jsonBesideTheLog({"hostile.dm2"}, {"hostile.dm2"}, reading("hostile.dm2"), 0);
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

// Score and deaths, by name, of a scoreboard's rows or a level's players.
using Figures = std::map<std::string, std::pair<int, int>>;

Figures figures(const Json& entries)
{
    Figures figures;
    for (const Json& entry : entries)
        figures[entry["name"]] = {entry["score"], entry["deaths"]};
    return figures;
}

// Where a recording shows the game's scoreboard twice, what kest counts between the two is what
// the scoreboard's figures grew by. The recording is cut at the first block after which
// kest.json shows the first scoreboard, and at the first after which it shows the last.
TEST_F(RealJsonRunTest, CountAgreesWithTheGamesScoreboards)
{
    for (const std::string name : {"libq2-testduel.dm2", "libq2-opentdm.mvd2"}) {
        SCOPED_TRACE(name);
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const Json last = levelOfCut(whole, whole.size(), name)["scoreboard"];
        ASSERT_TRUE(last.is_object());
        const auto firstCut = [&](auto shows) {
            const auto found = std::partition_point(fields.begin(), fields.end(), [&](std::size_t cut) {
                return !shows(levelOfCut(whole, cut, name)["scoreboard"]);
            });
            return levelOfCut(whole, *found, name);
        };
        const Json before = firstCut([](const Json& board) { return board.is_object(); });
        const Json after = firstCut([&](const Json& board) { return board == last; });
        ASSERT_LT(before["scoreboard"]["seconds"], after["scoreboard"]["seconds"]);
        const Figures shownBefore = figures(before["scoreboard"]["rows"]);
        const Figures shownAfter = figures(after["scoreboard"]["rows"]);
        ASSERT_FALSE(shownAfter.empty());
        for (const auto& entry : shownAfter) {
            SCOPED_TRACE(entry.first);
            const auto grown = [&](const Figures& then, const Figures& earlier) {
                return std::pair(then.at(entry.first).first - earlier.at(entry.first).first,
                                 then.at(entry.first).second - earlier.at(entry.first).second);
            };
            EXPECT_EQ(grown(figures(after["players"]), figures(before["players"])), grown(shownAfter, shownBefore));
        }
        EXPECT_NE(shownAfter, shownBefore) << "nothing happened between the two";
    }
}

// Cut files read by one run of kest: a batch of the longest recording's cuts takes some 40 MB.
constexpr std::size_t CutsPerRun = 300;

class RealRecordingCutsTest : public RealRecordingTest {
protected:
    // Cuts a recording after each of `cuts` bytes, in ascending order, and checks every cut against
    // the whole: a warning at the length field of the block the cut leaves unfinished (none on a
    // boundary), and messages that are a beginning of the whole log's, never fewer for a longer cut.
    // Each batch of cut files is read by one run and deleted before the next batch is written.
    void checkCuts(const std::string& name, const std::vector<std::size_t>& cuts) const
    {
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        ASSERT_FALSE(fields.empty());
        const std::string wholeMessages = expectedLog(name).substr(header(name, whole.size()).size());
        const auto cutName = [](std::size_t cut) { return "cut-" + std::to_string(10000000 + cut) + ".dm2"; };
        std::size_t previous = 0;  // the length of the previous cut's messages
        for (std::size_t first = 0; first < cuts.size() && !HasFailure(); first += CutsPerRun) {
            const std::size_t last = std::min(cuts.size(), first + CutsPerRun);
            std::string lines;
            for (std::size_t i = first; i < last; ++i) {
                std::ofstream(path(cutName(cuts[i])), std::ios::binary)
                    .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(cuts[i]));
                const std::size_t field = *std::prev(std::upper_bound(fields.begin(), fields.end(), cuts[i]));
                const bool unfinished = field != cuts[i] && cuts[i] < fields.back() + lengthWidth(whole);
                lines += reading(cutName(cuts[i])) + (unfinished ? warning(cutName(cuts[i]), field) : "");
            }
            const std::string log = completedLog({"cut-*.dm2"}, lines).value_or("");
            std::size_t at = 0;
            for (std::size_t i = first; i < last && !HasFailure(); ++i) {
                SCOPED_TRACE(cutName(cuts[i]));
                const std::string head = header(cutName(cuts[i]), cuts[i]);
                ASSERT_EQ(log.compare(at, head.size(), head), 0) << log.substr(at, 200);
                at += head.size();
                const std::size_t end = std::min(log.find("\nDemo filename: ", at - 1), log.size() - 1) + 1;
                std::string messages = log.substr(at, end - at);
                // Message lines are followed by the empty line that opens the next demo's header group.
                if (end < log.size() && messages.find("TIME: ") != std::string::npos) {
                    ASSERT_EQ(messages.substr(messages.size() - 2), "\n\n");
                    messages.pop_back();
                }
                EXPECT_EQ(wholeMessages.compare(0, messages.size(), messages), 0) << "not a beginning of the whole log";
                EXPECT_GE(messages.size(), previous) << "a longer cut lost lines";
                EXPECT_TRUE(cuts[i] != whole.size() || messages == wholeMessages);
                previous = messages.size();
                at = end;
                fs::remove(path(cutName(cuts[i])));
            }
        }
    }
};

TEST_F(RealRecordingCutsTest, CutAtEveryByte)
{
    std::vector<std::size_t> cuts(recording("libq2-test.dm2").size() + 1);
    std::iota(cuts.begin(), cuts.end(), 0);
    checkCuts("libq2-test.dm2", cuts);
}

// A multi-view recording cut at every block boundary, and one byte after every sixteenth.
TEST_F(RealRecordingCutsTest, MultiViewCutAtEveryBlockBoundary)
{
    const std::vector<std::size_t> fields = lengthFields(recording("libq2-opentdm.mvd2"));
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        cuts.push_back(fields[i]);
        if (i % 16 == 0)
            cuts.push_back(fields[i] + 1);
    }
    checkCuts("libq2-opentdm.mvd2", cuts);
}

TEST_F(RealRecordingCutsTest, CutAroundEveryBlockBoundary)
{
    const Bytes whole = recording("libq2-testduel.dm2");
    std::set<std::size_t> cuts = {whole.size()};
    for (const std::size_t field : lengthFields(whole))
        for (std::size_t cut = std::max<std::size_t>(field, 3) - 3; cut <= std::min(field + 3, whole.size()); ++cut)
            cuts.insert(cut);
    checkCuts("libq2-testduel.dm2", std::vector<std::size_t>(cuts.begin(), cuts.end()));
}

}  // namespace
}  // namespace kest::e2e
