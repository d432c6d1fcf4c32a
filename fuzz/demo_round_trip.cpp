#include "demo_round_trip.h"

#include <string_view>

#include "demo/demo_input.h"
#include "driver/error_reporter.h"
#include "log/log_writer.h"
#include "log/message_list.h"

namespace kest::fuzzing {
namespace {

// As much data as the longest plain input the fuzzer makes.
constexpr std::uint64_t MaxSmallWindowData = 64 * 1024;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The parser's fatal errors are three fixed messages; anything else means a
// format went wrong or an error came from where none should.
bool isParserError(std::string_view message)
{
    return message == "Unknown entity!" || message == "Too many entities!" ||
           (startsWith(message, "KEST: Unknown demo format (") && endsWith(message, ")!"));
}

bool isParserKind(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Print:
    case RecordKind::Frag:
    case RecordKind::ClientServer:
    case RecordKind::Chat:
    case RecordKind::MapFile:
    case RecordKind::MapName:
        return true;
    case RecordKind::DemoFileName:
    case RecordKind::DemoFileSize:
        break;
    }
    return false;
}

bool isMapFileName(std::string_view text)
{
    for (const char c : text) {
        if (c == '/' || (c >= 'a' && c <= 'z'))
            return false;
    }
    return true;
}

void checkRecords(MessageList& list, RoundTrip& trip)
{
    auto broken = [&trip](std::string what) { trip.brokenInvariants.push_back(std::move(what)); };
    const MessageRecord* record = list.first();
    if (record == nullptr || record->kind != RecordKind::DemoFileName || record->text != DemoName)
        return broken("the list does not start with the demo's name");
    record = list.next();
    if (record == nullptr || record->kind != RecordKind::DemoFileSize)
        return broken("the demo's size is not the second record");
    std::int64_t lastTime = 0;
    for (record = list.next(); record != nullptr; record = list.next()) {
        const std::string where = " (record at time " + std::to_string(record->time) + ")";
        if (!isParserKind(record->kind))
            broken("the parser appended a record of kind " + std::to_string(static_cast<int>(record->kind)) + where);
        if (record->time < 0)
            broken("a decoded record's time is negative" + where);
        if (record->time < lastTime)
            broken("block numbers go back" + where);
        lastTime = record->time;
        if (record->text.find('\0') != std::string::npos)
            broken("a record's text holds a zero byte" + where);
        if (record->kind == RecordKind::MapFile && !isMapFileName(record->text))
            broken("a map file name holds '/' or a lower-case letter" + where);
    }
}

void checkLog(MessageList& list, std::size_t size, RoundTrip& trip)
{
    const std::string header =
        std::string("Demo filename: ") + DemoName + "\nDemo filesize: " + std::to_string(size) + "\n";
    if (!startsWith(trip.log, header))
        trip.brokenInvariants.push_back("the log does not start with the demo's header lines");
    if (!trip.log.empty() && trip.log.back() != '\n')
        trip.brokenInvariants.push_back("the log does not end with LF");
    if (LogWriter().render(list) != trip.log)
        trip.brokenInvariants.push_back("a second rendering of the same list differs");
}

// The program's way from a file's bytes to records, through a window of the given capacity.
void decode(const std::uint8_t* data, std::size_t size, std::size_t windowCapacity, MessageList& list, RoundTrip& trip)
{
    list.append(0, RecordKind::DemoFileName, DemoName);
    list.append(0, RecordKind::DemoFileSize, std::to_string(size));
    MemorySource file(data, size);
    DemoInput input(file);
    DemoWindow window(windowCapacity);
    window.open(input);
    try {
        trip.damage = DemoParser(window).run(list);
    } catch (const FatalError& error) {
        trip.fatalError = error.what();
    }
}

// The bytes the program decodes for a file: its own, or those it inflates to.
std::uint64_t dataSize(const std::uint8_t* data, std::size_t size)
{
    MemorySource file(data, size);
    DemoInput input(file);
    std::vector<std::uint8_t> buffer(DemoWindow::DefaultCapacity);
    std::uint64_t total = 0;
    while (const std::size_t got = input.read(buffer.data(), buffer.size()).value_or(0))
        total += got;
    return total;
}

// A window of a few bytes makes nearly every read cross its edge; the outcome must not change.
void checkSmallWindow(const std::uint8_t* data, std::size_t size, RoundTrip& trip)
{
    const std::size_t capacity = 1 + size % 7;
    RoundTrip small;
    MessageList list;
    decode(data, size, capacity, list, small);
    const auto offset = [](const std::optional<DemoDamage>& damage) { return damage ? damage->offset : ~0ULL; };
    if (small.fatalError != trip.fatalError || offset(small.damage) != offset(trip.damage) ||
        (!trip.fatalError && LogWriter().render(list) != trip.log))
        trip.brokenInvariants.push_back("a window of " + std::to_string(capacity) + " bytes changes the outcome");
}

}  // namespace

RoundTrip runRoundTrip(const std::uint8_t* data, std::size_t size)
{
    RoundTrip trip;
    MessageList list;
    decode(data, size, DemoWindow::DefaultCapacity, list, trip);

    if (trip.fatalError && !isParserError(*trip.fatalError))
        trip.brokenInvariants.push_back("unexpected fatal error: " + *trip.fatalError);
    const std::uint64_t decoded = dataSize(data, size);
    if (trip.damage && trip.damage->offset >= decoded)
        trip.brokenInvariants.push_back("damage reported at byte " + std::to_string(trip.damage->offset) +
                                        " of " + std::to_string(decoded));
    checkRecords(list, trip);
    if (!trip.fatalError) {
        trip.log = LogWriter().render(list);
        checkLog(list, size, trip);
    }
    // A few bytes at a time, the megabytes a small compressed input can hold would take too long.
    if (decoded <= MaxSmallWindowData)
        checkSmallWindow(data, size, trip);
    return trip;
}

}  // namespace kest::fuzzing
