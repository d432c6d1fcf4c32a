#include "driver/driver.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>

#include "demo/demo_input.h"
#include "demo/demo_parser.h"
#include "log/log_writer.h"

namespace kest {
namespace {

const std::string LogFileName = "kest.log";

bool asksForUsage(const std::vector<std::string>& arguments)
{
    return arguments.empty() || std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
               return argument == "-h" || argument == "--help" || argument == "--version";
           });
}

bool asksToKeepGoing(const std::string& argument) { return argument == "-k" || argument == "--keep-going"; }

}  // namespace

int Driver::run(const std::vector<std::string>& arguments)
{
    std::vector<std::string> patterns;
    std::remove_copy_if(arguments.begin(), arguments.end(), std::back_inserter(patterns), asksToKeepGoing);
    keepGoing_ = patterns.size() != arguments.size();
    leftOut_ = false;
    if (asksForUsage(patterns)) {
        printUsage();
        return 0;
    }
    try {
        const std::int64_t start = platform_.milliseconds();
        const std::vector<DirectoryEntry> demos = findDemos(patterns);
        std::fputs("\n", console_);
        MessageList list;
        for (const DirectoryEntry& demo : demos) {
            // Hidden files are no demos.
            if (demo.name.empty() || demo.name[0] == '.')
                continue;
            readDemo(demo, list);
        }
        writeLog(list);
        const std::int64_t elapsed = platform_.milliseconds() - start;
        std::fprintf(console_, "\n%.2f seconds elapsed\n", static_cast<double>(elapsed) * 0.001);
        return leftOut_ ? 2 : 0;
    } catch (const FatalError& error) {
        std::fprintf(console_, "\nERROR: %s\n", error.what());
        return 1;
    }
}

void Driver::printUsage()
{
    std::fprintf(console_, "\nKest %s, %s", "0.60", "98-11-04");
    std::fputs("\nUsage: kest <demoname.dm2>", console_);
    std::fputs("\nWildcards are allowed (i. e. kest *.dm2)\n", console_);
    std::fputs("\nThe log will be written to kest.log, not displayed as until v0.51\n", console_);
    std::fputs("\nDisplayed message types: FRAG (frag), CLSV (client/server), CHAT (chat)\n", console_);
}

// Every pattern is expanded before any demo is read, so a typing error costs no time.
// Each pattern's matches come in byte order of their paths, the order a shell gives them.
std::vector<DirectoryEntry> Driver::findDemos(const std::vector<std::string>& patterns)
{
    std::vector<DirectoryEntry> demos;
    for (const std::string& pattern : patterns) {
        std::vector<DirectoryEntry> matches = platform_.findMatches(pattern);
        if (matches.empty())
            leaveOut("Demofile " + pattern + " not found!");
        std::sort(matches.begin(), matches.end(),
                  [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.path < b.path; });
        std::move(matches.begin(), matches.end(), std::back_inserter(demos));
    }
    return demos;
}

void Driver::readDemo(const DirectoryEntry& demo, MessageList& list)
{
    const OpenedFile opened = platform_.openFile(demo.path);
    // Folders, pipes and devices are no demos.
    if (opened.status == OpenedFile::Status::NotAFile)
        return;
    std::fprintf(console_, "Reading %s...\n", demo.name.c_str());
    const std::size_t recordsBefore = list.size();
    if (opened.status == OpenedFile::Status::Failed || !decodeDemo(demo.name, *opened.file, list)) {
        // A file that cannot be read to its end adds nothing, not even its header lines.
        list.keepFirst(recordsBefore);
        leaveOut("Couldn't open demofile " + demo.name + "!");
    }
}

bool Driver::decodeDemo(const std::string& name, InputFile& file, MessageList& list)
{
    const std::uint64_t sizeAtOpen = file.size();
    list.append(0, RecordKind::DemoFileName, name);
    const std::size_t sizeRecord = list.size();
    list.append(0, RecordKind::DemoFileSize, std::to_string(sizeAtOpen));
    DemoInput input(file);
    window_.open(input);
    std::optional<DemoDamage> damage;
    try {
        damage = DemoParser(window_).run(list);
    } catch (const ReadFailed&) {
        return false;
    } catch (const std::bad_alloc&) {
        // The window grew past the memory there is, for a text that runs on through a huge file.
        return false;
    } catch (const DecodeError& error) {
        if (!keepGoing_)
            throw;
        warnLeftOut("Demofile " + name + " stops at byte " + std::to_string(error.offset()) + ": " + error.what());
    }
    if (file.size() != sizeAtOpen)
        list.replaceText(sizeRecord, std::to_string(file.size()));
    if (damage) {
        std::fprintf(console_, "WARNING: Demofile %s is damaged at byte %llu, rest skipped!\n", name.c_str(),
                     static_cast<unsigned long long>(damage->offset));
    }
    return true;
}

void Driver::writeLog(MessageList& list)
{
    std::fputs("\nWriting kest.log...\n", console_);
    LogWriter writer;
    if (!writer.write(list, LogFileName, platform_))
        reporter_.report_error("Couldn't write logfile %s!", LogFileName.c_str());
}

void Driver::leaveOut(const std::string& message)
{
    if (!keepGoing_)
        reporter_.report_error("%s", message.c_str());
    warnLeftOut(message);
}

void Driver::warnLeftOut(const std::string& message)
{
    std::fprintf(console_, "WARNING: %s\n", message.c_str());
    leftOut_ = true;
}

}  // namespace kest
