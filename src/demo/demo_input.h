#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "demo/byte_source.h"
#include "demo/gzip_source.h"

namespace kest {

// A demo's data from its file: the file's own bytes, or the bytes they inflate
// to when the file is gzip-compressed, whatever its name says.
class DemoInput final : public ByteSource {
public:
    static constexpr std::array<std::uint8_t, 3> GzipMagic = {0x1F, 0x8B, 0x08};

    explicit DemoInput(ByteSource& file) : file_(file) {}

    std::optional<std::size_t> read(std::uint8_t* into, std::size_t capacity) override;

    // Whether the file is gzip-compressed, once its first bytes are read.
    bool compressed() const { return inflater_ != nullptr; }

private:
    std::optional<std::size_t> readFirst(std::uint8_t* into, std::size_t capacity);

    ByteSource& file_;
    ByteSource* data_ = nullptr;  // the file or its inflater, once the first bytes have told which
    std::unique_ptr<GzipSource> inflater_;
    // The first bytes, when the first read asked for fewer than the magic's length; a plain
    // file's are handed out from here before the rest.
    std::array<std::uint8_t, GzipMagic.size()> head_{};
    MemorySource unread_{head_.data(), 0};
};

}  // namespace kest
