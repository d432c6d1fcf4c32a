// Real recordings: each one's log against the log made for it independently,
// then the same recordings cut short and with bytes changed, where kest must
// keep to its defined messages whatever the damage.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "kest_fixture.h"

namespace kest::e2e {
namespace {

const std::filesystem::path RealDemos = KEST_REAL_DEMOS_DIR;

// The protocol-34 recordings, in byte order of their names.
const std::vector<std::string> Protocol34Recordings = {
    "aqtion-bandaging-guide.dm2", "aqtion-doors-guide.dm2", "aqtion-jumping-guide.dm2",
    "libq2-test.dm2",             "libq2-testduel.dm2",     "qase-bot-q2dm1.dm2",
};
constexpr std::int32_t RecordedProtocol = 34;

std::string expectedLogName(const std::string& recording)
{
    return recording.substr(0, recording.size() - 4) + ".log";
}

std::int32_t readLength(const Bytes& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    return static_cast<std::int32_t>(value);
}

void writeLength(Bytes& bytes, std::size_t offset, std::int32_t length)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(length) >> (8 * i));
}

// The offsets of a recording's length fields, the end marker's last; the walk
// looks at nothing but the lengths.
std::vector<std::size_t> lengthFields(const Bytes& recording)
{
    std::vector<std::size_t> fields;
    std::size_t offset = 0;
    while (offset + 4 <= recording.size()) {
        fields.push_back(offset);
        const std::int32_t length = readLength(recording, offset);
        if (length < 0)
            break;
        offset += 4 + static_cast<std::size_t>(length);
    }
    return fields;
}

// What a run's standard output says, read back line by line.
struct Transcript {
    struct Demo {
        std::string name;
        std::optional<long long> damagedAt;
    };
    std::vector<Demo> demos;
    std::optional<std::string> error;  // the ERROR line's message, when the run failed
    bool wellFormed = true;
};

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Reads a run's output; anything kest must never print fails the test.
Transcript readTranscript(const std::string& output)
{
    Transcript transcript;
    const auto reject = [&](const std::string& why) {
        ADD_FAILURE() << why << " in the output:\n" << output.substr(0, 4000);
        transcript.wellFormed = false;
        return transcript;
    };
    if (!startsWith(output, "\n"))
        return reject("no empty line first");
    std::size_t at = 1;
    while (at < output.size() && output[at] != '\n') {
        const std::size_t end = output.find('\n', at);
        if (end == std::string::npos)
            return reject("an unfinished line");
        const std::string line = output.substr(at, end - at);
        at = end + 1;
        if (startsWith(line, "Reading ") && endsWith(line, "...")) {
            transcript.demos.push_back({line.substr(8, line.size() - 11), std::nullopt});
            continue;
        }
        if (transcript.demos.empty() || transcript.demos.back().damagedAt)
            return reject("a line out of place: " + line);
        const std::string damaged = "WARNING: Demofile " + transcript.demos.back().name + " is damaged at byte ";
        const long long offset = std::atoll(line.c_str() + std::min(damaged.size(), line.size()));
        if (line != damaged + std::to_string(offset) + ", rest skipped!")
            return reject("an unknown line: " + line);
        transcript.demos.back().damagedAt = offset;
    }
    const std::string ending = output.substr(at);
    const std::string error = "\nERROR: ";
    if (startsWith(ending, error) && ending.find('\n', error.size()) == ending.size() - 1)
        transcript.error = ending.substr(error.size(), ending.size() - error.size() - 1);
    else if (maskedOutput(ending) != "\nWriting kest.log...\n\n# seconds elapsed\n")
        return reject("an unknown ending");
    return transcript;
}

// The messages with which damaged or foreign data may end a run: their values are read
// back and the message made again from them, so nothing but the defined wording passes.
bool isDecodingError(const std::string& message)
{
    if (message == "Unknown entity!" || message == "Too many entities!")
        return true;
    constexpr unsigned LastCommand = 0x13;  // the frame ends a block, so it never precedes another code
    const char* const badCode = "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x%X)!";
    const char* const unknownCode = "KEST: Unknown demo format (isdemo: %d this_id: 0x%X prev_id: 0x%X sv_version: %d)!";
    char remade[160];
    unsigned thisId = 0;
    unsigned prevId = 0;
    int isdemo = 0;
    int svVersion = 0;
    if (std::sscanf(message.c_str(), badCode, &prevId) == 1) {
        std::snprintf(remade, sizeof remade, badCode, prevId);
        return remade == message && prevId <= LastCommand;
    }
    if (std::sscanf(message.c_str(), unknownCode, &isdemo, &thisId, &prevId, &svVersion) == 4) {
        std::snprintf(remade, sizeof remade, unknownCode, isdemo, thisId, prevId, svVersion);
        return remade == message && isdemo >= 0 && isdemo <= 255 && thisId > 0x14 && thisId <= 0xFF &&
               prevId <= LastCommand;
    }
    return false;
}

// A log cut before each "Demo filename: " line: one part per demo.
std::vector<std::string> splitLog(const std::string& log)
{
    const std::string nameTitle = "\nDemo filename: ";
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t next = std::min(log.find(nameTitle, at), log.size() - 1) + 1;
        parts.push_back(log.substr(at, next - at));
        at = next;
    }
    return parts;
}

class RealRecordingTest : public KestTest {
protected:
    void SetUp() override
    {
        KestTest::SetUp();
        if (!std::filesystem::is_directory(RealDemos))
            GTEST_SKIP() << "the real recordings are not there: no folder " << RealDemos
                         << " (set KEST_REAL_DEMOS_DIR)";
    }

    static Bytes recording(const std::string& name)
    {
        const std::optional<std::string> bytes = readFile(RealDemos / name);
        EXPECT_TRUE(bytes) << "cannot read " << RealDemos / name;
        return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
    }

    static std::string expectedLog(const std::string& name)
    {
        const std::optional<std::string> log = readFile(RealDemos / "expected" / name);
        EXPECT_TRUE(log) << "cannot read the expected log " << name;
        return log.value_or("");
    }

    void copy(const std::string& name) const { write(name, recording(name)); }

    // Runs kest once over cuts of a recording, each a file of its first `cut` bytes, and
    // checks each cut against the whole recording: the warning exactly where the cut
    // leaves a block unfinished, and a log section that is a beginning of the whole one.
    void checkCuts(const std::string& name, std::vector<std::size_t> cuts) const;
};

class RecordingLogTest : public RealRecordingTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RecordingLogTest, MatchesTheExpectedLog)
{
    copy(GetParam());
    const KestRun result = run({GetParam()});
    EXPECT_EQ(maskedOutput(result), completedOutput("Reading " + GetParam() + "...\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(log(), expectedLog(expectedLogName(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Protocol34, RecordingLogTest, ::testing::ValuesIn(Protocol34Recordings),
                         [](const auto& info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST_F(RealRecordingTest, AllProtocol34RecordingsInOneRun)
{
    std::string readingLines;
    for (const std::string& name : Protocol34Recordings) {
        copy(name);
        readingLines += "Reading " + name + "...\n";
    }
    const KestRun result = run({"*.dm2"});
    EXPECT_EQ(maskedOutput(result), completedOutput(readingLines));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(log(), expectedLog("all-good.log"));
}

TEST_F(RealRecordingTest, ForeignProtocolEndsTheRun)
{
    copy("mission64-demo1.dm2");
    const KestRun result = run({"mission64-demo1.dm2"});
    EXPECT_EQ(result.output, "\nReading mission64-demo1.dm2...\n\nERROR: KEST: Unknown demo format (this_id: 0x0 "
                             "prev_id: 0xE)!\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(log());
}

void RealRecordingTest::checkCuts(const std::string& name, std::vector<std::size_t> cuts) const
{
    const Bytes whole = recording(name);
    ASSERT_FALSE(whole.empty());
    const std::vector<std::size_t> fields = lengthFields(whole);
    const std::size_t complete = fields.back() + 4;  // after the end marker
    std::string wholeBody = expectedLog(expectedLogName(name));
    for (int line = 0; line < 2; ++line)
        wholeBody.erase(0, wholeBody.find('\n') + 1);

    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<std::string> names;
    for (const std::size_t cut : cuts) {
        char cutName[32];
        std::snprintf(cutName, sizeof cutName, "cut-%07zu.dm2", cut);
        names.push_back(cutName);
        write(cutName, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    }

    const KestRun result = run({"cut-*.dm2"});
    ASSERT_EQ(result.exitCode, 0) << result.output.substr(result.output.size() - std::min<std::size_t>(500, result.output.size()));
    EXPECT_EQ(result.errors, "");
    const Transcript transcript = readTranscript(result.output);
    ASSERT_TRUE(transcript.wellFormed);
    ASSERT_FALSE(transcript.error);
    ASSERT_EQ(transcript.demos.size(), cuts.size());
    const std::vector<std::string> parts = splitLog(log().value_or(""));
    ASSERT_EQ(parts.size(), cuts.size());

    std::size_t previousBody = 0;
    for (std::size_t i = 0; i < cuts.size() && !HasFailure(); ++i) {
        const std::size_t cut = cuts[i];
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        const auto field = std::lower_bound(fields.begin(), fields.end(), cut);
        const bool atBoundary = cut >= complete || (field != fields.end() && *field == cut);
        EXPECT_EQ(transcript.demos[i].name, names[i]);
        EXPECT_EQ(transcript.demos[i].damagedAt,
                  atBoundary ? std::nullopt : std::optional<long long>(*std::prev(field)));

        const std::string header = "Demo filename: " + names[i] + "\nDemo filesize: " + std::to_string(cut) + "\n";
        ASSERT_TRUE(startsWith(parts[i], header)) << parts[i];
        std::string body = parts[i].substr(header.size());
        // Messages are followed by the empty line that opens the next demo's header group.
        const bool hasMessages = body.find("TIME: ") != std::string::npos;
        if (hasMessages && i + 1 < cuts.size()) {
            EXPECT_TRUE(endsWith(body, "\n\n"));
            body.pop_back();
        }
        EXPECT_FALSE(!hasMessages && endsWith(body, "\n\n"));
        EXPECT_TRUE(body.empty() || body.back() == '\n');
        EXPECT_TRUE(startsWith(wholeBody, body)) << "not a beginning of the whole log:\n" << body;
        EXPECT_GE(body.size(), previousBody) << "a longer cut lost lines";
        previousBody = body.size();
        if (cut == whole.size()) {
            EXPECT_EQ(body, wholeBody);
        }
    }
}

TEST_F(RealRecordingTest, CutAtEveryByte)
{
    const std::size_t size = recording("libq2-test.dm2").size();
    std::vector<std::size_t> cuts(size + 1);
    for (std::size_t cut = 0; cut <= size; ++cut)
        cuts[cut] = cut;
    checkCuts("libq2-test.dm2", cuts);
}

// Every block boundary of a long recording would make gigabytes of cuts: these are the
// boundaries of its first blocks, then of every so many, and of its last ones.
TEST_F(RealRecordingTest, CutAroundBlockBoundaries)
{
    constexpr std::size_t FirstBlocks = 200;
    constexpr std::size_t Stride = 100;
    constexpr std::size_t LastBlocks = 3;
    const std::string name = "libq2-testduel.dm2";
    const Bytes whole = recording(name);
    const std::vector<std::size_t> fields = lengthFields(whole);
    std::vector<std::size_t> cuts = {whole.size()};
    for (std::size_t block = 0; block < fields.size(); ++block) {
        if (block >= FirstBlocks && block % Stride != 0 && block + LastBlocks < fields.size())
            continue;
        for (std::size_t cut = fields[block] - std::min<std::size_t>(3, fields[block]);
             cut <= std::min(fields[block] + 3, whole.size()); ++cut)
            cuts.push_back(cut);
    }
    checkCuts(name, cuts);
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// What the console says of one demo: "" (read to its end), "damaged at N", or "error: MESSAGE".
using Outcome = std::string;
const Outcome AnyError = "error";

std::string damagedAt(std::size_t offset)
{
    return "damaged at " + std::to_string(offset);
}

class ChangedRecordingTest : public RealRecordingTest {
protected:
    // Adds a copy of a recording with one change, and the outcomes allowed for it (none: any
    // defined one), under a name that keeps the copies in the order they were added.
    void add(const std::string& recording, const std::string& change, Bytes bytes, std::vector<Outcome> allowed = {})
    {
        char file[96];
        std::snprintf(file, sizeof file, "%04zu-%s", variants_.size(), recording.c_str());
        variants_.push_back({file, change, std::move(bytes), std::move(allowed)});
    }

    // Writes every copy, then runs kest over them in turn, a new run after each one
    // that ends a run with an error, and checks every outcome.
    void checkVariants() const;

    // Blocks to change: the first ones and some spread over the rest.
    static std::vector<std::size_t> chosenBlocks(std::size_t blocks, std::size_t first, std::size_t spread)
    {
        std::vector<std::size_t> chosen;
        for (std::size_t block = 0; block < std::min(first, blocks); ++block)
            chosen.push_back(block);
        for (std::size_t i = 1; i <= spread && blocks > first; ++i)
            chosen.push_back(first + (blocks - first - 1) * i / spread);
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
        return chosen;
    }

private:
    struct Variant {
        std::string file;
        std::string change;
        Bytes bytes;
        std::vector<Outcome> allowed;
    };
    std::vector<Variant> variants_;
};

void ChangedRecordingTest::checkVariants() const
{
    std::vector<std::string> files;
    for (const Variant& variant : variants_) {
        write(variant.file, variant.bytes);
        files.push_back(variant.file);
    }
    std::size_t next = 0;
    while (next < variants_.size() && !HasFailure()) {
        const KestRun result =
            run(std::vector<std::string>(files.begin() + static_cast<std::ptrdiff_t>(next), files.end()));
        EXPECT_EQ(result.errors, "");
        const Transcript transcript = readTranscript(result.output);
        ASSERT_TRUE(transcript.wellFormed);
        ASSERT_EQ(result.exitCode, transcript.error ? 1 : 0);
        ASSERT_FALSE(transcript.demos.empty());
        ASSERT_LE(next + transcript.demos.size(), variants_.size());
        for (std::size_t i = 0; i < transcript.demos.size(); ++i) {
            const Variant& variant = variants_[next + i];
            const Transcript::Demo& demo = transcript.demos[i];
            SCOPED_TRACE(variant.file + ": " + variant.change);
            ASSERT_EQ(demo.name, variant.file);
            const bool failedHere = transcript.error && i + 1 == transcript.demos.size();
            if (failedHere) {
                EXPECT_TRUE(isDecodingError(*transcript.error)) << *transcript.error;
            }
            if (demo.damagedAt) {
                EXPECT_LT(*demo.damagedAt, static_cast<long long>(variant.bytes.size()));
            }
            const Outcome outcome = failedHere      ? "error: " + *transcript.error
                                    : demo.damagedAt ? damagedAt(static_cast<std::size_t>(*demo.damagedAt))
                                                     : "";
            const auto allowed = [&](const Outcome& one) {
                return one == outcome || (failedHere && one == AnyError);
            };
            EXPECT_TRUE(variant.allowed.empty() || std::any_of(variant.allowed.begin(), variant.allowed.end(), allowed))
                << "outcome \"" << outcome << "\" is not one of " << ::testing::PrintToString(variant.allowed);
        }
        next += transcript.demos.size();
        if (!transcript.error) {
            EXPECT_EQ(next, variants_.size()) << "a completed run left demos unread";
        }
    }
}

// A negative length ends its recording right there, wherever it is. A huge one does too,
// unless the bytes up to the file's end hold unknown data; other lengths send the walk anywhere.
TEST_F(ChangedRecordingTest, LengthFields)
{
    for (const std::string& name : Protocol34Recordings) {
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const std::size_t blocks = fields.size() - 1;
        const bool small = name == "libq2-test.dm2";
        const auto change = [&](std::size_t block, std::int32_t length, std::vector<Outcome> allowed) {
            Bytes bytes = whole;
            writeLength(bytes, fields[block], length);
            add(name, "length field of block " + std::to_string(block + 1) + " set to " + std::to_string(length),
                std::move(bytes), std::move(allowed));
        };
        for (const std::size_t block : chosenBlocks(blocks, small ? blocks : 4, small ? 0 : 8)) {
            for (const std::int32_t length : {-2, -5, std::numeric_limits<std::int32_t>::min()})
                change(block, length, {damagedAt(fields[block])});
        }
        if (!small)
            continue;
        for (const std::size_t block : chosenBlocks(blocks, 1, 1)) {
            change(block, std::numeric_limits<std::int32_t>::max(), {damagedAt(fields[block]), AnyError});
            for (const std::int32_t length : {0, 3, readLength(whole, fields[block]) + 1})
                change(block, length, {});
        }
    }
    checkVariants();
}

// Within a block the first byte is always a command: a code that ends the run says so exactly,
// a frame code hides just its block, and any other code makes the rest of the block anything.
TEST_F(ChangedRecordingTest, FirstCommandOfABlock)
{
    constexpr std::uint8_t Frame = 20;
    for (const std::string& name : Protocol34Recordings) {
        const Bytes whole = recording(name);
        const std::vector<std::size_t> fields = lengthFields(whole);
        const std::size_t blocks = fields.size() - 1;
        const bool small = name == "libq2-test.dm2";
        const auto change = [&](std::size_t block, std::uint8_t code, std::vector<Outcome> allowed) {
            Bytes bytes = whole;
            bytes[fields[block] + 4] = code;
            add(name, "first command of block " + std::to_string(block + 1) + " set to " + hex(code),
                std::move(bytes), std::move(allowed));
        };
        const Outcome badCode = "error: KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!";
        const auto unknownCode = [](std::uint8_t code, std::int32_t sv_version) {
            return "error: KEST: Unknown demo format (isdemo: 1 this_id: " + hex(code) +
                   " prev_id: 0x0 sv_version: " + std::to_string(sv_version) + ")!";
        };
        // The first block holds the server data, so only its loss changes what the later blocks mean.
        for (const std::size_t block : chosenBlocks(blocks, 4, 8))
            change(block, Frame, block == 0 ? std::vector<Outcome>{} : std::vector<Outcome>{""});
        change(1, 0x15, {unknownCode(0x15, RecordedProtocol)});
        if (!small)
            continue;
        change(0, 0x00, {badCode});
        change(0, 0xFF, {unknownCode(0xFF, 0)});
        change(1, 0x00, {badCode});
        for (const std::size_t block : chosenBlocks(blocks, 1, 1)) {
            for (const std::uint8_t code : {3, 6, 10, 18})
                change(block, code, {});
        }
    }
    checkVariants();
}

}  // namespace
}  // namespace kest::e2e
