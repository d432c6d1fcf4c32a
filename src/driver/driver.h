#pragma once

#include <string>
#include <vector>

#include "demo/demo_input.h"
#include "demo/demo_parser.h"
#include "demo/demo_window.h"
#include "driver/console.h"
#include "driver/error_reporter.h"
#include "driver/platform.h"
#include "log/message_list.h"

namespace kest {

// One run of kest: finds the demos the arguments name, decodes each one,
// writes kest.log and tells the user on the console how it went.
class Driver {
public:
    Driver(Platform& platform, Console& console) : platform_(platform), console_(console) {}
    virtual ~Driver() = default;

    // The process's exit code: 0 for a completed run or the usage text, 1 for an error,
    // 2 for a run that kept going (-k) and left out a pattern or demo, or part of one.
    int run(const std::vector<std::string>& arguments);

private:
    // The banner and usage; with the options and exit codes too when asked for help.
    void printUsage(bool withHelp);
    std::vector<DirectoryEntry> findDemos(const std::vector<std::string>& patterns);
    void readDemo(const DirectoryEntry& demo, MessageList& list);
    // False when the file could not be read to its end.
    bool decodeDemo(const std::string& name, InputFile& file, MessageList& list);
    void writeLog(MessageList& list);
    // The demo's facts that only the end of its decoding tells, for the match facts.
    void recordEnding(MessageList& list, const DemoInput& input, const std::optional<DemoDamage>& damage);

    // An error that concerns one pattern or one demo: it ends the run, or, in a run that
    // keeps going, is printed as a warning and the run goes on without what it concerns.
    void leaveOut(const std::string& message);
    void warnLeftOut(const std::string& message);

    Platform& platform_;
    Console& console_;
    ErrorReporter reporter_;
    DemoWindow window_;  // one for all demos, so their bytes pass through memory that is warm
    bool keepGoing_ = false;
    bool writesJson_ = false;
    bool writesHtml_ = false;
    FactScope facts_ = FactScope::Log;
    bool leftOut_ = false;  // whether a warning of leaveOut was printed
};

}  // namespace kest
