#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "demo/byte_source.h"

struct z_stream_s;

namespace kest {

// The bytes that inflating gzip-compressed input yields, member after member as
// files joined one after the other hold them. They end with the input or at the
// first fault inflating finds (a corrupt stream, a member cut short, a failed
// checksum), after every byte inflated before it: a damaged archive keeps what it
// still holds, as a demo cut short does.
class GzipSource final : public ByteSource {
public:
    // The compressed bytes are read in pieces of this size, into one buffer.
    static constexpr std::size_t InputCapacity = 128 * 1024;

    // `alreadyRead` holds the first `count` compressed bytes, taken from `compressed` before.
    GzipSource(ByteSource& compressed, const std::uint8_t* alreadyRead, std::size_t count);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) override;

private:
    ByteSource& compressed_;
    std::vector<std::uint8_t> input_;
    std::unique_ptr<z_stream_s> stream_;  // on the heap: the inflater's state points back at it
    bool inputEnded_ = false;
    bool ended_ = false;
};

}  // namespace kest
