#pragma once

#include <string>

#include "demo/demo_parser.h"
#include "demo/demo_window.h"

namespace kest {

// Every record of a demo as "time kind text|", then how its decoding ended.
inline std::string outcome(ByteSource& source, DemoWindow& window, FactScope scope = FactScope::Log)
{
    MessageList list;
    std::string ending = "read to its end";
    window.open(source);
    try {
        if (const auto damage = DemoParser(window, DemoParser::Walk::Lean, scope).run(list))
            ending = "damaged at " + std::to_string(damage->offset);
    } catch (const FatalError& error) {
        ending = error.what();
    } catch (const ReadFailed&) {
        ending = "read failed";
    }
    std::string text;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next())
        text += std::to_string(record->time) + " " + std::to_string(static_cast<int>(record->kind)) + " " +
                std::string(record->text) + "|";
    return text + ending;
}

}  // namespace kest
