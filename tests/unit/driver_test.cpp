// The elapsed figure of a run, on a clock the test sets: the run's search, its opening of
// the matches and its writing of the log each take a set time, and all of them count.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace kest {
namespace {

// How long each step of a run takes, in milliseconds.
struct StepTimes {
    std::int64_t search, open, write;
};

// A platform in memory whose clock moves only while a step of the run takes its time. Every
// pattern matches one entry that is no file, and writing the log always succeeds.
class ClockedPlatform : public Platform {
public:
    ClockedPlatform(std::int64_t start, StepTimes steps) : now_(start), steps_(steps) {}

    std::vector<DirectoryEntry> findMatches(const std::string& pattern) override
    {
        now_ += steps_.search;
        return {{pattern, pattern}};
    }
    OpenedFile openFile(const std::string&) override
    {
        now_ += steps_.open;
        return {OpenedFile::Status::NotAFile, nullptr};
    }
    bool replaceFile(const std::string&, std::string_view) override
    {
        now_ += steps_.write;
        return true;
    }
    std::int64_t milliseconds() override { return now_; }

private:
    std::int64_t now_;
    const StepTimes steps_;
};

// The figures are chosen away from a last digit of 5, where "%.2f" of a binary fraction could go either way.
TEST(Driver, ElapsedFigureIsTheWholeRunInSeconds)
{
    const struct {
        std::int64_t start;
        StepTimes steps;
        const char* figure;
    } cases[] = {
        {0, {0, 0, 0}, "0.00"}, {123456789, {0, 0, 0}, "0.00"}, {1, {9, 0, 0}, "0.01"}, {0, {0, 0, 999}, "1.00"},
        {-5000, {1000, 200, 34}, "1.23"}, {987654321098, {1234, 0, 0}, "1.23"}, {0, {0, 1234, 0}, "1.23"},
        {0, {0, 0, 1234}, "1.23"}, {7, {3 * 3600000, 20 * 60000, 45678}, "12045.68"},
    };
    for (const auto& c : cases) {
        ClockedPlatform platform(c.start, c.steps);
        std::FILE* console = std::tmpfile();
        ASSERT_NE(console, nullptr);
        Driver(platform, console).run({"a.dm2"});
        std::rewind(console);
        char printed[100];
        const std::size_t length = std::fread(printed, 1, sizeof printed, console);
        std::fclose(console);
        EXPECT_EQ(std::string(printed, length),
                  std::string("\n\nWriting kest.log...\n\n") + c.figure + " seconds elapsed\n")
            << "from " << c.start << ": " << c.steps.search << " + " << c.steps.open << " + " << c.steps.write;
    }
}

}  // namespace
}  // namespace kest
