#include "demo_round_trip.h"

#include <nlohmann/json.hpp>

#include <string_view>

#include "demo/demo_input.h"
#include "driver/error_reporter.h"
#include "log/json_writer.h"
#include "log/log_writer.h"
#include "log/message_list.h"

namespace kest::fuzzing {
namespace {

// As much data as the longest plain input the fuzzer makes.
constexpr std::uint64_t MaxSmallWindowData = 64 * 1024;
// Data short enough to be read through every window size from one byte to its whole length.
constexpr std::uint64_t MaxEveryWindowData = 128;
// Larger data is read through one small window of each walk, of a size its length picks.
constexpr std::size_t LeanWindows = 61;
constexpr std::size_t CursorWindows = 7;

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
    default:
        return false;
    }
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
void decode(const std::uint8_t* data, std::size_t size, std::size_t windowCapacity, DemoParser::Walk walk,
            MessageList& list, RoundTrip& trip, FactScope scope = FactScope::Log)
{
    list.append(0, RecordKind::DemoFileName, DemoName);
    list.append(0, RecordKind::DemoFileSize, std::to_string(size));
    MemorySource file(data, size);
    DemoInput input(file);
    DemoWindow window(windowCapacity);
    window.open(input);
    try {
        trip.damage = DemoParser(window, walk, scope).run(list);
    } catch (const DecodeError& error) {
        trip.fatalError = error.what();
        // As a run that keeps going has it.
        if (scope == FactScope::Match) {
            list.append(0, RecordKind::StopOffset, std::to_string(error.offset()));
            list.append(0, RecordKind::StopError, error.what());
        }
    } catch (const FatalError& error) {
        trip.fatalError = error.what();
    }
    if (scope == FactScope::Match && trip.damage)
        list.append(0, RecordKind::DamageOffset, std::to_string(trip.damage->offset));
}

// With the match facts kept too, the log is the same, and kest.json one line of valid JSON
// with a message for every message of the log.
void checkMatchFacts(const std::uint8_t* data, std::size_t size, RoundTrip& trip)
{
    RoundTrip facts;
    MessageList list;
    decode(data, size, DemoWindow::DefaultCapacity, DemoParser::Walk::Lean, list, facts, FactScope::Match);
    if (!trip.fatalError && LogWriter().render(list) != trip.log)
        trip.brokenInvariants.push_back("keeping the match facts changes the log");
    std::size_t messages = 0;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next())
        messages += record->kind == RecordKind::Frag || record->kind == RecordKind::ClientServer ||
                    record->kind == RecordKind::Chat;
    const std::string json = JsonWriter().render(list);
    if (json.empty() || json.find('\n') != json.size() - 1)
        return trip.brokenInvariants.push_back("kest.json is not one line");
    try {
        if (nlohmann::json::parse(json).at("messages").size() != messages)
            trip.brokenInvariants.push_back("kest.json's messages are not the log's");
    } catch (const nlohmann::json::exception& error) {
        trip.brokenInvariants.push_back(std::string("kest.json is no valid JSON: ") + error.what());
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

// Through a window of a few bytes nearly every read crosses its edge, and the lean walk meets
// blocks that are not wholly at hand; with either walk, the outcome must not change.
void checkWalksAndWindows(const std::uint8_t* data, std::size_t size, std::uint64_t decoded, RoundTrip& trip)
{
    const auto offset = [](const std::optional<DemoDamage>& damage) { return damage ? damage->offset : ~0ULL; };
    const auto check = [&](std::size_t capacity, DemoParser::Walk walk) {
        RoundTrip other;
        MessageList list;
        decode(data, size, capacity, walk, list, other);
        if (other.fatalError == trip.fatalError && offset(other.damage) == offset(trip.damage) &&
            (trip.fatalError || LogWriter().render(list) == trip.log))
            return true;
        trip.brokenInvariants.push_back(std::string(walk == DemoParser::Walk::Lean ? "the lean" : "the cursor's") +
                                        " walk through a window of " + std::to_string(capacity) +
                                        " bytes changes the outcome");
        return false;
    };
    // A few bytes at a time, the megabytes a small compressed input can hold would take too long.
    if (!check(DemoWindow::DefaultCapacity, DemoParser::Walk::CursorOnly) || decoded > MaxSmallWindowData)
        return;
    if (decoded > MaxEveryWindowData) {
        if (check(1 + size % LeanWindows, DemoParser::Walk::Lean))
            check(1 + size % CursorWindows, DemoParser::Walk::CursorOnly);
        return;
    }
    for (std::size_t capacity = 1; capacity <= decoded + 1; ++capacity) {
        if (!check(capacity, DemoParser::Walk::Lean) || !check(capacity, DemoParser::Walk::CursorOnly))
            return;
    }
}

}  // namespace

RoundTrip runRoundTrip(const std::uint8_t* data, std::size_t size)
{
    RoundTrip trip;
    MessageList list;
    decode(data, size, DemoWindow::DefaultCapacity, DemoParser::Walk::Lean, list, trip);

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
    checkMatchFacts(data, size, trip);
    checkWalksAndWindows(data, size, decoded, trip);
    return trip;
}

}  // namespace kest::fuzzing
