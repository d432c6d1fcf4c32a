#include "demo/demo_input.h"

#include <algorithm>

namespace kest {

std::optional<std::size_t> DemoInput::read(std::uint8_t* into, std::size_t capacity)
{
    if (data_ == nullptr)
        return readFirst(into, capacity);
    const std::optional<std::size_t> unread = unread_.read(into, capacity);
    return *unread > 0 ? unread : data_->read(into, capacity);
}

// A plain file's first bytes go straight where its data is wanted, as all its later ones do;
// only a compressed file's are copied, to be inflated. A read too small for the magic takes
// a detour through `head_`.
std::optional<std::size_t> DemoInput::readFirst(std::uint8_t* into, std::size_t capacity)
{
    const bool roomForMagic = capacity >= GzipMagic.size();
    std::uint8_t* const head = roomForMagic ? into : head_.data();
    const std::size_t room = roomForMagic ? capacity : head_.size();
    std::size_t got = 0;
    while (got < GzipMagic.size()) {
        const std::optional<std::size_t> more = file_.read(head + got, room - got);
        if (!more)
            return std::nullopt;
        if (*more == 0)
            break;
        got += *more;
    }
    if (got >= GzipMagic.size() && std::equal(GzipMagic.begin(), GzipMagic.end(), head)) {
        inflater_ = std::make_unique<GzipSource>(file_, head, got);
        data_ = inflater_.get();
        return data_->read(into, capacity);
    }
    data_ = &file_;
    if (roomForMagic)
        return got;
    unread_ = MemorySource(head_.data(), got);
    return unread_.read(into, capacity);
}

}  // namespace kest
