#include "driver/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "demo_writer/demo_writer.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// A file that fails on the read at `failsAt`, as a disk with a bad sector would; one that never
// gets there ends as its bytes do.
class FailingFile final : public InputFile {
public:
    FailingFile(const Bytes& bytes, std::size_t failsAt) : bytes_(bytes), failsAt_(failsAt) {}

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) override
    {
        if (at_ == failsAt_)
            return std::nullopt;
        const std::size_t count = std::min(capacity, std::min(failsAt_, bytes_.size()) - at_);
        std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + count), into);
        at_ += count;
        return count;
    }

    std::uint64_t size() const override { return bytes_.size(); }

private:
    const Bytes& bytes_;
    std::size_t failsAt_;
    std::size_t at_ = 0;
};

// Demo files in memory, each matched by its own name alone, and a log kept in memory.
class FakePlatform final : public Platform {
public:
    struct File {
        Bytes bytes;
        std::optional<std::size_t> failsAt;  // the offset whose read fails, if one does
        bool opens = true;
    };

    std::vector<DirectoryEntry> findMatches(const std::string& pattern) override
    {
        if (files.count(pattern) == 0)
            return {};
        return {DirectoryEntry{pattern, pattern}};
    }

    OpenedFile openFile(const std::string& path) override
    {
        const File& file = files.at(path);
        if (!file.opens)
            return {OpenedFile::Status::Failed, nullptr};
        return {OpenedFile::Status::Opened,
                std::make_unique<FailingFile>(file.bytes, file.failsAt.value_or(file.bytes.size() + 1))};
    }

    bool replaceFile(const std::string& path, std::string_view bytes) override
    {
        written[path] = std::string(bytes);
        return true;
    }

    std::int64_t milliseconds() override { return 0; }

    std::map<std::string, File> files;
    std::map<std::string, std::string> written;
};

// What one run printed, how it ended and the log it wrote, if any.
struct Outcome {
    std::string console;
    int exitCode;
    std::optional<std::string> log;
};

Outcome runDriver(FakePlatform& platform, const std::vector<std::string>& arguments)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), std::fclose);
    if (!console)
        return {"no temporary file for the console", -1, std::nullopt};
    const int exitCode = Driver(platform, console.get()).run(arguments);
    std::string printed(static_cast<std::size_t>(std::ftell(console.get())), '\0');
    std::rewind(console.get());
    printed.resize(std::fread(printed.data(), 1, printed.size(), console.get()));
    const auto log = platform.written.find("kest.log");
    return {printed, exitCode, log == platform.written.end() ? std::nullopt : std::optional(log->second)};
}

Bytes demoOf(const std::vector<std::string>& prints)
{
    DemoWriter writer;
    for (const std::string& text : prints)
        writer.block(MessageWriter().print(2, text + "\n"));
    return writer.endMarker().bytes();
}

// A file that cannot be read to its end adds no records, not even the ones of the blocks read
// before the failure. Where it fails: at once, after its first block, inside its second one,
// at its last byte, and on the read after its last byte (it has no end marker).
TEST(Driver, DemoThatCannotBeReadToItsEndAddsNothing)
{
    const Bytes blocks = DemoWriter()
                             .block(MessageWriter().print(2, "first\n"))
                             .block(MessageWriter().print(2, "second\n"))
                             .block(MessageWriter().print(2, "third\n"))
                             .bytes();
    const std::size_t firstBlock = 4 + 9;  // length, code, level, text, its zero
    const std::vector<std::tuple<const char*, std::optional<std::size_t>, bool>> failures = {
        {"CannotBeOpened", std::nullopt, false}, {"AtOnce", 0, true},
        {"AfterTheFirstBlock", firstBlock, true}, {"InsideTheSecondBlock", firstBlock + 6, true},
        {"AtTheLastByte", blocks.size() - 1, true}, {"AfterTheLastByte", blocks.size(), true},
    };
    const Bytes a = demoOf({"a"});
    const Bytes c = demoOf({"c"});
    const std::string clsv = "\nTIME: 00:00:00 CLSV: ";
    const std::string keptGoingLog = "Demo filename: a.dm2\nDemo filesize: " + std::to_string(a.size()) + "\n" + clsv +
                                     "a\n\nDemo filename: c.dm2\nDemo filesize: " + std::to_string(c.size()) + "\n" +
                                     clsv + "c\n";
    const std::string lines = "\nReading a.dm2...\nReading b.dm2...\n";
    for (const auto& [label, failsAt, opens] : failures) {
        SCOPED_TRACE(label);
        FakePlatform platform;
        platform.files = {{"a.dm2", {a, {}, true}}, {"b.dm2", {blocks, failsAt, opens}}, {"c.dm2", {c, {}, true}}};

        const Outcome stopped = runDriver(platform, {"a.dm2", "b.dm2", "c.dm2"});
        EXPECT_EQ(stopped.console, lines + "\nERROR: Couldn't open demofile b.dm2!\n");
        EXPECT_EQ(stopped.exitCode, 1);
        EXPECT_EQ(stopped.log, std::nullopt);

        const Outcome keptGoing = runDriver(platform, {"a.dm2", "b.dm2", "-k", "c.dm2"});
        EXPECT_EQ(keptGoing.console, lines + "WARNING: Couldn't open demofile b.dm2!\nReading c.dm2...\n"
                                             "\nWriting kest.log...\n\n0.00 seconds elapsed\n");
        EXPECT_EQ(keptGoing.exitCode, 2);
        EXPECT_EQ(keptGoing.log, keptGoingLog);
    }
}

// The same demo read in whole gives its three messages: the failures above are what removes them.
TEST(Driver, SameDemoReadInWholeGivesItsMessages)
{
    FakePlatform platform;
    const Bytes bytes = demoOf({"first", "second", "third"});
    platform.files = {{"b.dm2", {bytes, {}, true}}};
    const Outcome outcome = runDriver(platform, {"-k", "b.dm2"});
    EXPECT_EQ(outcome.console, "\nReading b.dm2...\n\nWriting kest.log...\n\n0.00 seconds elapsed\n");
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.log, "Demo filename: b.dm2\nDemo filesize: " + std::to_string(bytes.size()) +
                               "\n\nTIME: 00:00:00 CLSV: first\nTIME: 00:00:00 CLSV: second\n"
                               "TIME: 00:00:00 CLSV: third\n");
}

}  // namespace
}  // namespace kest
