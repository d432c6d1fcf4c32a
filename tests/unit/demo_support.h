#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "demo/demo_parser.h"
#include "demo_writer/demo_writer.h"
#include "driver/error_reporter.h"
#include "log/message_list.h"

namespace kest::test {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// A record as the tests compare it.
struct Record {
    std::int64_t time;
    std::int32_t kind;
    std::string text;

    bool operator==(const Record& other) const
    {
        return std::tie(time, kind, text) == std::tie(other.time, other.kind, other.text);
    }
};

// Shows line ends and bytes outside printable ASCII escaped, so a failure shows every byte.
inline std::ostream& operator<<(std::ostream& out, const Record& record)
{
    static const char hex[] = "0123456789ABCDEF";
    out << "(" << record.time << ", " << record.kind << ", \"";
    for (const char c : record.text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\n')
            out << "\\n";
        else if (byte < 0x20 || byte > 0x7E)
            out << "\\x" << hex[byte >> 4] << hex[byte & 15];
        else
            out << c;
    }
    return out << "\")";
}

inline std::vector<Record> recordsOf(MessageList& list)
{
    std::vector<Record> records;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next())
        records.push_back({record->time, static_cast<std::int32_t>(record->kind), record->text});
    return records;
}

// What one parser made of one demo: the records it appended and how it ended.
struct Outcome {
    std::vector<Record> records;
    std::optional<std::uint64_t> damage;
    std::optional<std::string> fatal;
};

inline Outcome parse(const Bytes& demo)
{
    Outcome outcome;
    MessageList list;
    DemoParser parser(demo.data(), demo.size());
    try {
        if (const auto damage = parser.run(list))
            outcome.damage = damage->offset;
    } catch (const FatalError& error) {
        outcome.fatal = error.what();
    }
    outcome.records = recordsOf(list);
    return outcome;
}

// A demo of one block holding `message`, closed by the end marker.
inline Outcome parseBlock(const MessageWriter& message)
{
    return parse(DemoWriter().block(message).endMarker().bytes());
}

// `count` zero bytes: field contents the decoder steps over without looking.
inline Bytes zeros(std::size_t count)
{
    return Bytes(count, 0);
}

inline Bytes shortBytes(std::uint16_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

inline Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

}  // namespace kest::test
