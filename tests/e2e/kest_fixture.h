#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_writer/demo_writer.h"

namespace kest::e2e {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// What one run of the kest binary left on the console.
struct KestRun {
    std::string output;  // standard output
    std::string errors;  // standard error
    int exitCode = -1;   // -1 when kest did not exit by itself (a crash, a hang)
};

// How kest's process is set up, besides its arguments and working folder.
struct RunSetting {
    mode_t umask = 022;
    // The size a file may grow to: writing past it fails (instead of ending the process).
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

// The banner and usage text, all a run with no demo to read prints.
extern const std::string Usage;

// The standard output of a completed run whose per-demo lines are `demoLines`,
// with the seconds figure written as "#" (see maskedOutput).
std::string completedOutput(const std::string& demoLines);

// The run's standard output with the figure of its last line, "\n%.2f seconds
// elapsed\n", replaced by "#"; the output unchanged if it has no such line.
std::string maskedOutput(const KestRun& run);
std::string maskedOutput(const std::string& output);

// The standard output of a run that ended with an error after reading the demos of `demoLines`.
std::string failedOutput(const std::string& demoLines, const std::string& message);

// A demo of these blocks, one message each, closed by the end marker.
Bytes demo(const std::vector<MessageWriter>& blocks);

// The bytes of a file, or nothing if it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);

// A test that runs kest in a folder of its own: write demos there, run kest
// with arguments, then look at its console output and kest.log.
class KestTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file below the working folder, making the folders on its path.
    void write(const std::string& name, const Bytes& bytes) const;
    void write(const std::string& name, const std::string& text) const;

    // Runs kest in the working folder, as a shell would after expanding nothing.
    KestRun run(const std::vector<std::string>& arguments, const RunSetting& setting = {}) const;

    // Runs kest twice, first where there is no kest.log and then over an earlier
    // one, and checks that both runs print the same and leave the log as it was:
    // none, then the earlier one byte for byte. Returns the first run.
    KestRun runLeavingLogAsItWas(const std::vector<std::string>& arguments, const RunSetting& setting = {});

    // kest.log's bytes; nothing if there is no such file.
    std::optional<std::string> log() const { return readFile(path("kest.log")); }

    std::filesystem::path path(const std::string& name) const { return work_ / name; }

private:
    std::filesystem::path root_;  // the working folder and kest's standard error
    std::filesystem::path work_;
};

}  // namespace kest::e2e
