#include "demo/demo_window.h"

#include <algorithm>
#include <cstring>

namespace kest {

bool BlockCursor::fetch(std::size_t count)
{
    if (window_ == nullptr)
        return false;
    const std::uint64_t at = offset();
    const DemoWindow::Span span = window_->extend(at, count);
    origin_ = at;
    begin_ = position_ = span.data;
    end_ = span.data + span.size;
    return span.size >= count;
}

const std::uint8_t* BlockCursor::fetchThroughZero()
{
    for (std::size_t searched = atHand();; searched = atHand()) {
        if (!fetch(searched + 1))
            throw DataEnded{};
        if (const void* zero = std::memchr(position_ + searched, 0, atHand() - searched))
            return static_cast<const std::uint8_t*>(zero);
    }
}

DemoWindow::DemoWindow(std::size_t capacity)
    : nominal_(std::max<std::size_t>(capacity, 1)), capacity_(nominal_), buffer_(new std::uint8_t[capacity_])
{
}

void DemoWindow::open(ByteSource& source)
{
    source_ = &source;
    origin_ = 0;
    filled_ = 0;
    keepFrom_ = 0;
    ended_ = false;
    if (capacity_ != nominal_)
        resize(nominal_);
}

bool DemoWindow::readThrough(std::uint64_t offset)
{
    while (end() < offset) {
        discardBefore(end());
        if (!readMore())
            return false;
    }
    return true;
}

DemoWindow::Span DemoWindow::extend(std::uint64_t offset, std::size_t count)
{
    if (offset + count > end() && !ended_) {
        discardBefore(std::min(offset, keepFrom_));
        const std::size_t needed = static_cast<std::size_t>(offset - origin_) + count;
        if (needed > capacity_)
            resize(std::max(needed, 2 * capacity_));
        else if (capacity_ > nominal_ && needed <= nominal_ && filled_ <= nominal_)
            resize(nominal_);
        while (end() < offset + count && readMore()) {
        }
    }
    const auto at = static_cast<std::size_t>(offset - origin_);
    return {buffer_.get() + at, filled_ - at};
}

void DemoWindow::discardBefore(std::uint64_t offset)
{
    if (offset <= origin_)
        return;
    const auto dropped = static_cast<std::size_t>(std::min(offset, end()) - origin_);
    std::memmove(buffer_.get(), buffer_.get() + dropped, filled_ - dropped);
    origin_ += dropped;
    filled_ -= dropped;
}

void DemoWindow::resize(std::size_t capacity)
{
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
    std::memcpy(buffer.get(), buffer_.get(), filled_);
    buffer_ = std::move(buffer);
    capacity_ = capacity;
}

bool DemoWindow::readMore()
{
    if (ended_ || filled_ == capacity_)
        return false;
    const std::optional<std::size_t> got = source_->read(buffer_.get() + filled_, capacity_ - filled_);
    if (!got)
        throw ReadFailed{};
    if (*got == 0)
        ended_ = true;
    filled_ += *got;
    return *got > 0;
}

}  // namespace kest
