#include "demo/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

namespace kest {

GzipSource::GzipSource(ByteSource& compressed, const std::uint8_t* alreadyRead, std::size_t count)
    : compressed_(compressed), input_(std::max(count, InputCapacity)), stream_(std::make_unique<z_stream>())
{
    // Sixteen more than the window size takes gzip members alone, header and trailer checked.
    if (inflateInit2(stream_.get(), MAX_WBITS + 16) != Z_OK)
        throw std::bad_alloc();
    std::copy(alreadyRead, alreadyRead + count, input_.begin());
    stream_->next_in = input_.data();
    stream_->avail_in = static_cast<uInt>(count);
}

GzipSource::~GzipSource()
{
    inflateEnd(stream_.get());
}

std::optional<std::size_t> GzipSource::read(std::uint8_t* into, std::size_t capacity)
{
    z_stream& stream = *stream_;
    const auto room = static_cast<uInt>(std::min<std::size_t>(capacity, std::numeric_limits<uInt>::max()));
    stream.next_out = into;
    stream.avail_out = room;
    // A member's header, an empty member or a trailer yields nothing: inflate on until bytes come.
    while (!ended_ && room > 0 && stream.avail_out == room) {
        if (stream.avail_in == 0 && !inputEnded_) {
            const std::optional<std::size_t> got = compressed_.read(input_.data(), input_.size());
            if (!got)
                return std::nullopt;
            inputEnded_ = *got == 0;
            stream.next_in = input_.data();
            stream.avail_in = static_cast<uInt>(*got);
        }
        // Even with no input left, inflating may still owe bytes it decoded before: a small
        // read leaves the rest of a long match behind.
        switch (inflate(&stream, Z_NO_FLUSH)) {
        case Z_OK:
            break;
        case Z_STREAM_END:
            // Another member may follow.
            inflateReset(&stream);
            break;
        case Z_BUF_ERROR:
            // Nothing more can come out without input, and there is none.
            ended_ = inputEnded_;
            break;
        case Z_MEM_ERROR:
            throw std::bad_alloc();
        default:
            // The bytes inflated before the fault are in `into` all the same.
            ended_ = true;
        }
    }
    return room - stream.avail_out;
}

}  // namespace kest
