// Every real recording and sample demo, alone and all in one run: its log against the log made
// for it independently, its kest.json line beside an unchanged log, the same log when gzipped;
// then the real recordings cut short and with bytes changed, where kest must keep to its
// defined messages, and the games' own scoreboards against what kest counts.
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
    write("hostile.dm2", demo(blocks));
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

// Cut files read by one run of kest: a batch of the longest recording's cuts takes some 40 MB.
constexpr std::size_t CutsPerRun = 300;

// Whether a run over one changed recording ended in a defined way: read to its end, damaged at
// a byte inside it, or ended by one of the decoder's messages with values it can print. Those
// values are read back and the message made again from them, so nothing but the defined wording
// passes: codes in upper-case hexadecimal without leading zeros, a previous code below the
// frame's (the frame ends its block), an unknown code above it, and an attract-loop byte as isdemo.
bool endsInADefinedWay(const KestRun& run, const std::string& name, long long size)
{
    const std::string damaged = "\n" + reading(name) + "WARNING: Demofile " + name + " is damaged at byte ";
    const long long offset = std::atoll(run.output.c_str() + std::min(run.output.size(), damaged.size()));
    if (run.exitCode == 0)
        return run.output == completed(reading(name)) ||
               (offset >= 0 && offset < size && run.output == completed(reading(name) + warning(name, offset)));
    const std::size_t start = failed(reading(name), "").size() - 1;
    const std::string message = run.output.substr(std::min(start, run.output.size()), run.output.size() - start - 1);
    const char* const badCode = "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x%X)!";
    const char* const unknown = "KEST: Unknown demo format (isdemo: %d this_id: 0x%X prev_id: 0x%X sv_version: %d)!";
    unsigned thisId = 0x15, prevId = 0;
    int isdemo = 0, svVersion = 0;
    char remade[160] = "Unknown entity!";  // what a message of neither format must be
    if (std::sscanf(message.c_str(), unknown, &isdemo, &thisId, &prevId, &svVersion) == 4)
        std::snprintf(remade, sizeof remade, unknown, isdemo, thisId, prevId, svVersion);
    else if (std::sscanf(message.c_str(), badCode, &prevId) == 1)
        std::snprintf(remade, sizeof remade, badCode, prevId);
    else if (message == "Too many entities!")
        std::snprintf(remade, sizeof remade, "%s", message.c_str());
    return run.exitCode == 1 && run.output == failed(reading(name), remade) && isdemo >= 0 && isdemo <= 255 &&
           thisId > 0x14 && thisId <= 0xFF && prevId <= 0x13;
}

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

// Copies of the recordings with one length field or one block's first command byte changed.
// A negative length ends a recording right at its field; a frame code hides just its block
// (but for the first block, whose server data the others need); an unknown code ends the run
// with its exact message. Copies that complete are read in one run, the others each in a run of
// its own. Other changes send the walk anywhere: such a copy must still end in a defined way.
TEST_F(RealRecordingTest, ChangedLengthFieldsAndCommandCodes)
{
    enum Field : std::size_t { Length = 0, Code = 4 };  // where in its block a change is made
    const std::string Open = "any defined way";
    Arguments completing;
    std::string completingLines;
    for (const Recording& protocol34 : Recordings) {
        if (protocol34.sample || protocol34.protocol != 34 || protocol34.format[0] != 'd')
            continue;
        const std::string name = protocol34.name;
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const std::size_t blocks = fields.size() - 1;
        const bool small = name == "libq2-test.dm2";
        // A copy with the block's length field or first command byte set to `value`, low byte first.
        const auto check = [&](std::size_t block, Field field, std::int64_t value, const std::string& ending) {
            Bytes bytes = whole;
            const std::size_t offset = fields[block] + field;
            for (std::size_t i = 0; i < (field == Length ? 4 : 1); ++i)
                bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
            // Copies that complete are kept for their run; each other one is read at once.
            const std::string copy = (ending.empty() ? std::to_string(10000 + completing.size()) : "one") + "-" + name;
            write(copy, bytes);
            if (ending.empty()) {
                completing.push_back(copy);
                completingLines += reading(copy) + (field == Length ? warning(copy, offset) : "");
                return;
            }
            SCOPED_TRACE(copy + ": " + ending);
            const KestRun result = run({copy});
            EXPECT_TRUE(ending == Open ? endsInADefinedWay(result, copy, bytes.size())
                                       : result.output == failed(reading(copy), ending) && result.exitCode == 1)
                << result.output;
        };
        for (std::size_t block = 0; block < blocks; ++block) {
            if (!small && block >= 4 && block % (blocks / 8) != 0)
                continue;
            for (const std::int64_t length : {-2LL, -5LL, -0x80000000LL})
                check(block, Length, length, "");
            check(block, Code, 20, block == 0 ? Open : "");
        }
        check(1, Code, 0x15, "KEST: Unknown demo format (isdemo: 1 this_id: 0x15 prev_id: 0x0 sv_version: 34)!");
        if (!small)
            continue;
        check(0, Code, 0x00, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!");
        check(1, Code, 0x00, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!");
        check(0, Code, 0xFF, "KEST: Unknown demo format (isdemo: 1 this_id: 0xFF prev_id: 0x0 sv_version: 0)!");
        for (const std::size_t block : {std::size_t{0}, blocks - 1}) {
            const auto oneTooMany = static_cast<std::int64_t>(fields[block + 1] - fields[block] - 3);
            for (const std::int64_t length : {std::int64_t{0}, std::int64_t{3}, oneTooMany, std::int64_t{0x7FFFFFFF}})
                check(block, Length, length, Open);
            for (const std::int64_t code : {3, 6, 10, 18})
                check(block, Code, code, Open);
        }
    }
    completedLog(completing, completingLines);
}


}  // namespace
}  // namespace kest::e2e
