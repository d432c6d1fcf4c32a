#include "log/message_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kest {

void MessageList::append(std::int64_t time, RecordKind kind, std::string_view text)
{
    if (size_ == records_.size() * RecordsPerChunk)
        records_.emplace_back(new StoredRecord[RecordsPerChunk]);
    StoredRecord& record = stored(size_);
    record.time = time;
    record.kind = kind;
    store(record, text);
    ++size_;
}

void MessageList::store(StoredRecord& record, std::string_view text)
{
    const bool fits = textEnd_.chunk < texts_.size() && text.size() <= texts_.back().size - textEnd_.used;
    if (!text.empty() && !fits) {
        const std::size_t size = std::max(text.size(), TextChunkSize);
        texts_.push_back(TextChunk{std::unique_ptr<char[]>(new char[size]), size});
        textEnd_ = TextEnd{texts_.size() - 1, 0};
    }
    record.chunk = static_cast<std::uint32_t>(textEnd_.chunk);
    record.offset = textEnd_.used;
    record.length = text.size();
    if (text.empty())
        return;
    std::memcpy(texts_.back().bytes.get() + textEnd_.used, text.data(), text.size());
    textEnd_.used += text.size();
    // A text that has a chunk to itself leaves no room in it.
    if (textEnd_.used > TextChunkSize)
        textEnd_ = TextEnd{texts_.size(), 0};
}

void MessageList::replaceText(std::size_t index, std::string_view text)
{
    if (index >= size_)
        throw std::out_of_range("no record to replace the text of");
    StoredRecord& record = stored(index);
    if (text.size() <= record.length) {
        if (!text.empty())
            std::memcpy(texts_[record.chunk].bytes.get() + record.offset, text.data(), text.size());
        record.length = text.size();
        return;
    }
    store(record, text);
    keptTexts_ = textEnd_;
}

void MessageList::keepFirst(std::size_t count)
{
    if (count >= size_)
        return;
    const StoredRecord& firstDropped = stored(count);
    const TextEnd textsKept =
        std::max(TextEnd{firstDropped.chunk, static_cast<std::size_t>(firstDropped.offset)}, keptTexts_);
    texts_.resize(std::min(texts_.size(), textsKept.chunk + (textsKept.used > 0 ? 1 : 0)));
    textEnd_ = textsKept;
    records_.resize((count + RecordsPerChunk - 1) / RecordsPerChunk);
    size_ = count;
}

MessageRecord MessageList::at(std::size_t index) const
{
    if (index >= size_)
        throw std::out_of_range("no record at that index");
    const StoredRecord& record = stored(index);
    // An empty text may lie where no chunk is yet.
    const std::string_view text = record.length == 0
                                      ? std::string_view()
                                      : std::string_view(texts_[record.chunk].bytes.get() + record.offset,
                                                         static_cast<std::size_t>(record.length));
    return MessageRecord{record.time, record.kind, text};
}

const MessageRecord* MessageList::show(std::size_t index)
{
    if (index >= size_)
        return nullptr;
    shown_ = at(index);
    return &shown_;
}

const MessageRecord* MessageList::first()
{
    cursor_ = 0;
    return show(cursor_);
}

const MessageRecord* MessageList::next()
{
    if (cursor_ < size_)
        ++cursor_;
    return show(cursor_);
}

}  // namespace kest
