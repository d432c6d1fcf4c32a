#include "log/log_writer.h"

#include "driver/platform.h"
#include "log/time_stamp.h"

namespace kest {
namespace {

enum class Group { None, Header, Message };

struct LineFormat {
    Group group;
    std::string_view title;
};

LineFormat lineFormat(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Frag: return {Group::Message, "FRAG: "};
    case RecordKind::ClientServer: return {Group::Message, "CLSV: "};
    case RecordKind::Chat: return {Group::Message, "CHAT: "};
    case RecordKind::MapFile: return {Group::Header, "Map filename: "};
    case RecordKind::MapName: return {Group::Header, "Map name: "};
    case RecordKind::DemoFileName: return {Group::Header, "Demo filename: "};
    case RecordKind::DemoFileSize: return {Group::Header, "Demo filesize: "};
    case RecordKind::Print: break;
    }
    return {Group::None, {}};
}

}  // namespace

std::string LogWriter::render(MessageList& list)
{
    std::string log;
    TimeStamp stamp;
    // The log starts as if a header group had just been written, so a leading
    // message line gets an empty line in front of it and a leading header does not.
    Group lastGroup = Group::Header;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next()) {
        const LineFormat format = lineFormat(record->kind);
        if (format.group == Group::None)
            continue;
        if (format.group != lastGroup) {
            log += '\n';
            lastGroup = format.group;
        }
        if (format.group == Group::Message) {
            log += "TIME: ";
            log += stamp.format(record->time);
            log += ' ';
        }
        log += format.title;
        log += record->text;
        if (log.back() != '\n')
            log += '\n';
    }
    return log;
}

bool LogWriter::write(MessageList& list, const std::string& fileName, Platform& platform)
{
    return platform.replaceFile(fileName, render(list));
}

}  // namespace kest
