#include "log/log_writer.h"

#include <iterator>

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
    default: break;  // a print of level 0, or a fact the log does not show
    }
    return {Group::None, {}};
}

}  // namespace

LogPieces::LogPieces(MessageList& list, std::size_t capacity)
    : list_(list), record_(list.first()), capacity_(capacity), buffer_(new char[capacity])
{
}

std::string_view LogPieces::nextPiece()
{
    std::size_t filled = 0;
    while (filled < capacity_ && (linePart_ < std::size(lineParts_) || startLine())) {
        std::string_view& part = lineParts_[linePart_];
        const std::size_t count = part.copy(buffer_.get() + filled, capacity_ - filled);
        filled += count;
        part.remove_prefix(count);
        if (part.empty())
            ++linePart_;
    }
    return std::string_view(buffer_.get(), filled);
}

bool LogPieces::startLine()
{
    LineFormat format{Group::None, {}};
    for (; record_ != nullptr; record_ = list_.next()) {
        format = lineFormat(record_->kind);
        if (format.group != Group::None)
            break;
    }
    if (record_ == nullptr)
        return false;
    const bool message = format.group == Group::Message;
    lineStart_.clear();
    if (message != inMessages_) {
        lineStart_ += '\n';
        inMessages_ = message;
    }
    if (message) {
        lineStart_ += "TIME: ";
        lineStart_ += stamp_.format(record_->time);
        lineStart_ += ' ';
    }
    lineStart_ += format.title;
    const std::string_view text = record_->text;
    lineParts_[0] = lineStart_;
    lineParts_[1] = text;
    lineParts_[2] = text.empty() || text.back() != '\n' ? "\n" : "";
    linePart_ = 0;
    record_ = list_.next();
    return true;
}

std::string LogWriter::render(MessageList& list)
{
    std::string log;
    LogPieces(list).writeWith([&log](std::string_view piece) {
        log += piece;
        return true;
    });
    return log;
}

bool LogWriter::write(MessageList& list, const std::string& fileName, Platform& platform)
{
    LogPieces pieces(list);
    return platform.replaceFile(fileName, pieces);
}

}  // namespace kest
