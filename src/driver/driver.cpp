#include "driver/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <new>

#include "demo/demo_input.h"
#include "demo/demo_parser.h"
#include "log/html_writer.h"
#include "log/json_writer.h"
#include "log/log_writer.h"

namespace kest {
namespace {

const std::string LogFileName = "kest.log";
const std::string JsonFileName = "kest.json";
const std::string HtmlFileName = "kest.html";

// The banner and usage, as kest has always shown them.
const char* const Usage = "\nKest 0.60, 98-11-04\n"
                          "Usage: kest <demoname.dm2>\n"
                          "Wildcards are allowed (i. e. kest *.dm2)\n"
                          "\nThe log will be written to kest.log, not displayed as until v0.51\n"
                          "\nDisplayed message types: FRAG (frag), CLSV (client/server), CHAT (chat)\n";

// What -h and --help add to them.
const char* const Help = "\nOptions:\n"
                         "  -k, --keep-going  warn about a file or pattern kest cannot use, and go on\n"
                         "  -j, --json        also write kest.json: who played, who fragged whom with what,\n"
                         "                    and the score, for every demo (JSON Lines)\n"
                         "      --html        also write kest.html: a page of the matches to read in a\n"
                         "                    browser (scoreboards, who fragged whom, the score over time)\n"
                         "  -h, --help        show this help\n"
                         "Demos compressed with gzip (such as *.dm2.gz) are read as they are.\n"
                         "Servers' multi-view recordings (*.mvd2, *.mvd2.gz) are read too.\n"
                         "\nExit codes: 0 log written, 1 error (no log written),\n"
                         "            2 log written, but -k left something out (see the warnings)\n";

bool asksFor(const std::vector<std::string>& arguments, std::initializer_list<const char*> options)
{
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& argument) {
        return std::find(options.begin(), options.end(), argument) != options.end();
    });
}

bool isKeepGoing(const std::string& argument) { return argument == "-k" || argument == "--keep-going"; }
bool isJson(const std::string& argument) { return argument == "-j" || argument == "--json"; }
bool isHtml(const std::string& argument) { return argument == "--html"; }
bool isRunOption(const std::string& argument) { return isKeepGoing(argument) || isJson(argument) || isHtml(argument); }

}  // namespace

int Driver::run(const std::vector<std::string>& arguments)
{
    std::vector<std::string> patterns;
    std::remove_copy_if(arguments.begin(), arguments.end(), std::back_inserter(patterns), isRunOption);
    keepGoing_ = std::any_of(arguments.begin(), arguments.end(), isKeepGoing);
    writesJson_ = std::any_of(arguments.begin(), arguments.end(), isJson);
    writesHtml_ = std::any_of(arguments.begin(), arguments.end(), isHtml);
    facts_ = writesJson_ || writesHtml_ ? FactScope::Match : FactScope::Log;
    leftOut_ = false;
    const bool asksForHelp = asksFor(patterns, {"-h", "--help"});
    if (asksForHelp || patterns.empty() || asksFor(patterns, {"--version"})) {
        printUsage(asksForHelp);
        return 0;
    }
    try {
        const std::int64_t start = platform_.milliseconds();
        const std::vector<DirectoryEntry> demos = findDemos(patterns);
        console_.write("\n");
        MessageList list;
        for (const DirectoryEntry& demo : demos) {
            // Hidden files are no demos.
            if (demo.name.empty() || demo.name[0] == '.')
                continue;
            readDemo(demo, list);
        }
        writeLog(list);
        const std::int64_t elapsed = platform_.milliseconds() - start;
        char figure[32];
        std::snprintf(figure, sizeof figure, "%.2f", static_cast<double>(elapsed) * 0.001);
        console_.write("\n" + std::string(figure) + " seconds elapsed\n");
        return leftOut_ ? 2 : 0;
    } catch (const FatalError& error) {
        console_.write("\nERROR: " + std::string(error.what()) + "\n");
        return 1;
    }
}

void Driver::printUsage(bool withHelp)
{
    console_.write(withHelp ? std::string(Usage) + Help : Usage);
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
    console_.write("Reading " + demo.name + "...\n");
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
        // Set only when there is damage: g++ 12 at -O3 drops the empty start of an optional that
        // a call's result overwrites, and a demo that stopped then showed another's damage.
        if (const auto found = DemoParser(window_, DemoParser::Walk::Lean, facts_).run(list))
            damage = found;
    } catch (const ReadFailed&) {
        return false;
    } catch (const std::bad_alloc&) {
        // The window grew past the memory there is, for a text that runs on through a huge file.
        return false;
    } catch (const DecodeError& error) {
        if (!keepGoing_)
            throw;
        warnLeftOut("Demofile " + name + " stops at byte " + std::to_string(error.offset()) + ": " + error.what());
        if (facts_ == FactScope::Match) {
            list.append(0, RecordKind::StopOffset, std::to_string(error.offset()));
            list.append(0, RecordKind::StopError, error.what());
        }
    }
    recordEnding(list, input, damage);
    if (file.size() != sizeAtOpen)
        list.replaceText(sizeRecord, std::to_string(file.size()));
    if (damage)
        console_.write("WARNING: Demofile " + name + " is damaged at byte " + std::to_string(damage->offset) +
                       ", rest skipped!\n");
    return true;
}

void Driver::recordEnding(MessageList& list, const DemoInput& input, const std::optional<DemoDamage>& damage)
{
    if (facts_ != FactScope::Match)
        return;
    if (input.compressed())
        list.append(0, RecordKind::Compressed, {});
    if (damage)
        list.append(0, RecordKind::DamageOffset, std::to_string(damage->offset));
}

// kest.json and kest.html go with the log: each written only once the one before it is, each
// complete or not at all.
void Driver::writeLog(MessageList& list)
{
    console_.write("\nWriting kest.log...\n");
    if (!LogWriter().write(list, LogFileName, platform_))
        reporter_.report_error("Couldn't write logfile %s!", LogFileName.c_str());
    if (writesJson_) {
        console_.write("Writing kest.json...\n");
        if (!JsonWriter().write(list, JsonFileName, platform_))
            reporter_.report_error("Couldn't write logfile %s!", JsonFileName.c_str());
    }
    if (writesHtml_) {
        console_.write("Writing kest.html...\n");
        if (!HtmlWriter().write(list, HtmlFileName, platform_))
            reporter_.report_error("Couldn't write logfile %s!", HtmlFileName.c_str());
    }
}

void Driver::leaveOut(const std::string& message)
{
    if (!keepGoing_)
        reporter_.report_error("%s", message.c_str());
    warnLeftOut(message);
}

void Driver::warnLeftOut(const std::string& message)
{
    console_.write("WARNING: " + message + "\n");
    leftOut_ = true;
}

}  // namespace kest
