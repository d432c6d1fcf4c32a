// The run over a platform in memory: files that fail part way, shrink while read or are no
// files at all, and a clock the test sets; and the console's writes, each of whole lines.
#include "driver/driver.h"
#include "driver/sized_input_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "demo_writer/demo_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// A file in memory that fails on the read at `failsAt`, as a disk with a bad sector would, and
// that may have held more when it was opened than it turns out to hold (it shrank since).
class MemoryFile final : public SizedInputFile {
public:
    MemoryFile(const Bytes& bytes, std::size_t failsAt, std::uint64_t sizeAtOpen)
        : SizedInputFile(sizeAtOpen), bytes_(bytes, SIZE_MAX, failsAt)
    {
    }

private:
    std::optional<std::size_t> readSome(std::uint8_t* into, std::size_t n) override { return bytes_.read(into, n); }

    PiecedSource bytes_;
};

// How long each step of a run takes, in milliseconds.
struct StepTimes {
    std::int64_t search, open, write;
};

// Files in memory, each matched by its own name alone, a log kept in memory, and a clock that
// moves only while a step of the run takes its time.
class FakePlatform final : public Platform {
public:
    struct File {
        Bytes bytes;
        std::optional<std::size_t> failsAt;  // the offset whose read fails, if one does
        OpenedFile::Status status = OpenedFile::Status::Opened;
        std::optional<std::uint64_t> sizeAtOpen;  // when more than its bytes: it shrank since
    };

    std::vector<DirectoryEntry> findMatches(const std::string& pattern) override
    {
        now += steps.search;
        return files.count(pattern) ? std::vector{DirectoryEntry{pattern, pattern}} : std::vector<DirectoryEntry>{};
    }

    OpenedFile openFile(const std::string& path) override
    {
        now += steps.open;
        const File& file = files.at(path);
        if (file.status != OpenedFile::Status::Opened)
            return {file.status, nullptr};
        return {OpenedFile::Status::Opened,
                std::make_unique<MemoryFile>(file.bytes, file.failsAt.value_or(file.bytes.size() + 1),
                                             file.sizeAtOpen.value_or(file.bytes.size()))};
    }

    bool replaceFile(const std::string& path, FileContent& content) override
    {
        now += steps.write;
        std::string& log = written[path];
        log.clear();
        return content.writeWith([&log](std::string_view piece) {
            log += piece;
            return true;
        });
    }

    std::int64_t milliseconds() override { return now; }

    std::map<std::string, File> files;
    std::map<std::string, std::string> written;
    std::int64_t now = 0;
    StepTimes steps{0, 0, 0};
};

// A console that keeps what each write brought.
class RecordingConsole final : public Console {
public:
    void write(std::string_view lines) override { writes.emplace_back(lines); }

    std::vector<std::string> writes;
};

// What one run printed, write by write, how it ended and the log it wrote, if any.
struct Outcome {
    std::vector<std::string> writes;
    int exitCode;
    std::optional<std::string> log;
};

Outcome runDriver(FakePlatform& platform, const std::vector<std::string>& arguments)
{
    RecordingConsole console;
    const int exitCode = Driver(platform, console).run(arguments);
    const auto log = platform.written.find("kest.log");
    return {console.writes, exitCode,
            log == platform.written.end() ? std::nullopt : std::optional(log->second)};
}

using Lines = std::vector<std::string>;

// How a run that wrote its log ends, on a clock that stood still.
const Lines Completed = {"\nWriting kest.log...\n", "\n0.00 seconds elapsed\n"};

Bytes demoOf(const std::vector<std::string>& prints)
{
    DemoWriter writer;
    for (const std::string& text : prints)
        writer.block(MessageWriter().print(2, text + "\n"));
    return writer.endMarker().bytes();
}

// A file that cannot be read to its end adds no records, not even the ones of the blocks read
// before the failure. Where it fails: at once, after its first block, inside its second one,
// and at its last byte. Each line goes to the console whole, in one write, in the order of the
// run: under -k the warnings of the search first; without it the error is the last line.
TEST(Driver, DemoThatCannotBeReadToItsEndAddsNothing)
{
    const Bytes blocks = demoOf({"first", "second", "third"});
    const std::size_t firstBlock = 4 + 9;  // length, code, level, text, its zero
    const auto failed = OpenedFile::Status::Failed, opened = OpenedFile::Status::Opened;
    const std::vector<std::tuple<const char*, std::optional<std::size_t>, OpenedFile::Status>> failures = {
        {"CannotBeOpened", std::nullopt, failed}, {"AtOnce", 0, opened},
        {"AfterTheFirstBlock", firstBlock, opened}, {"InsideTheSecondBlock", firstBlock + 6, opened},
        {"AtTheLastByte", blocks.size() - 5, opened},
    };
    const Bytes a = demoOf({"a"});
    const Bytes c = demoOf({"c"});
    const std::string clsv = "\nTIME: 00:00:00 CLSV: ";
    const std::string keptGoingLog = "Demo filename: a.dm2\nDemo filesize: " + std::to_string(a.size()) + "\n" + clsv +
                                     "a\n\nDemo filename: c.dm2\nDemo filesize: " + std::to_string(c.size()) + "\n" +
                                     clsv + "c\n";
    const Lines lines = {"\n", "Reading a.dm2...\n", "Reading b.dm2...\n"};
    for (const auto& [label, failsAt, status] : failures) {
        SCOPED_TRACE(label);
        FakePlatform platform;
        platform.files = {
            {"a.dm2", {a, {}, opened, {}}}, {"b.dm2", {blocks, failsAt, status, {}}}, {"c.dm2", {c, {}, opened, {}}}};

        const Outcome stopped = runDriver(platform, {"a.dm2", "b.dm2", "c.dm2"});
        EXPECT_EQ(stopped.writes, lines + Lines{"\nERROR: Couldn't open demofile b.dm2!\n"});
        EXPECT_EQ(stopped.exitCode, 1);
        EXPECT_EQ(stopped.log, std::nullopt);

        const Outcome keptGoing = runDriver(platform, {"a.dm2", "b.dm2", "-k", "nope.dm2", "c.dm2"});
        EXPECT_EQ(keptGoing.writes, (Lines{"WARNING: Demofile nope.dm2 not found!\n"} + lines +
                                     Lines{"WARNING: Couldn't open demofile b.dm2!\n", "Reading c.dm2...\n"} + Completed));
        EXPECT_EQ(keptGoing.exitCode, 2);
        EXPECT_EQ(keptGoing.log, keptGoingLog);
    }
}

// The same demo read in whole gives its three messages: the failures above are what removes
// them. When it shrank since it was opened, it ends where its data ends, and its size line gives
// the bytes there were; a cut that leaves a block unfinished is damage as in any cut demo.
TEST(Driver, DemoReadInWholeOrShrunkSinceItWasOpened)
{
    const Bytes bytes = demoOf({"first", "second", "third"});
    const std::string messages = "TIME: 00:00:00 CLSV: first\nTIME: 00:00:00 CLSV: second\n";
    const std::vector<std::tuple<std::size_t, Lines, std::string>> cases = {
        {bytes.size(), {}, messages + "TIME: 00:00:00 CLSV: third\n"},
        {bytes.size() - 4, {}, messages + "TIME: 00:00:00 CLSV: third\n"},  // without its end marker
        {bytes.size() - 5, {"WARNING: Demofile b.dm2 is damaged at byte 27, rest skipped!\n"}, messages},
    };
    for (const auto& [held, warning, logged] : cases) {
        SCOPED_TRACE(held);
        const Bytes part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(held));
        FakePlatform platform;
        platform.files = {{"b.dm2", {part, {}, OpenedFile::Status::Opened, bytes.size()}}};
        const Outcome outcome = runDriver(platform, {"-k", "b.dm2"});
        EXPECT_EQ(outcome.writes, (Lines{"\n", "Reading b.dm2...\n"} + warning + Completed));
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.log, "Demo filename: b.dm2\nDemo filesize: " + std::to_string(held) + "\n\n" + logged);
    }
}

// The usage, the version and the help each go out in one write.
TEST(Driver, UsageVersionAndHelpAreOneWrite)
{
    FakePlatform platform;
    for (const auto& arguments : {std::vector<std::string>{}, {"--version"}, {"-h"}}) {
        const std::vector<std::string> writes = runDriver(platform, arguments).writes;
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].substr(0, 21), "\nKest 0.60, 98-11-04\n");
        EXPECT_EQ(writes[0].back(), '\n');
    }
}

// The elapsed figure of a run, on a clock the test sets: the run's search, its opening of the
// matches and its writing of the log each take a set time, and all of them count. The figures
// are chosen away from a last digit of 5, where "%.2f" of a binary fraction could go either way.
TEST(Driver, ElapsedFigureIsTheWholeRunInSeconds)
{
    const std::tuple<std::int64_t, StepTimes, const char*> cases[] = {  // start, steps, figure
        {0, {0, 0, 0}, "0.00"}, {123456789, {0, 0, 0}, "0.00"}, {1, {9, 0, 0}, "0.01"}, {0, {0, 0, 999}, "1.00"},
        {-5000, {1000, 200, 34}, "1.23"}, {987654321098, {1234, 0, 0}, "1.23"}, {0, {0, 1234, 0}, "1.23"},
        {0, {0, 0, 1234}, "1.23"}, {7, {3 * 3600000, 20 * 60000, 45678}, "12045.68"},
    };
    for (const auto& [start, steps, figure] : cases) {
        FakePlatform platform;
        platform.files = {{"a.dm2", {{}, {}, OpenedFile::Status::NotAFile, {}}}};
        platform.now = start;
        platform.steps = steps;
        EXPECT_EQ(runDriver(platform, {"a.dm2"}).writes,
                  (Lines{"\n", "\nWriting kest.log...\n", std::string("\n") + figure + " seconds elapsed\n"}))
            << "from " << start << ": " << steps.search << " + " << steps.open << " + " << steps.write;
    }
}

}  // namespace
}  // namespace kest
