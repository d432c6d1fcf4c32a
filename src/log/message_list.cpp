#include "log/message_list.h"

namespace kest {

void MessageList::append(std::int64_t time, RecordKind kind, std::string_view text)
{
    records_.push_back(MessageRecord{time, kind, std::string(text)});
}

const MessageRecord* MessageList::first()
{
    cursor_ = 0;
    return records_.empty() ? nullptr : &records_[0];
}

const MessageRecord* MessageList::next()
{
    if (cursor_ < records_.size())
        ++cursor_;
    return cursor_ < records_.size() ? &records_[cursor_] : nullptr;
}

}  // namespace kest
