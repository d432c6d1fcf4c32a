#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "demo/block_cursor.h"
#include "demo/byte_source.h"

namespace kest {

// Thrown when the source of a demo's bytes fails part way.
struct ReadFailed {};

// The part of a demo's bytes that decoding needs now, read ahead from its
// source in large reads into one buffer that serves demo after demo. Only a
// read that needs more than the buffer holds makes it grow (a payload running
// far past its block, a text without its terminator); it shrinks back after.
class DemoWindow {
public:
    static constexpr std::size_t DefaultCapacity = 64 * 1024;

    explicit DemoWindow(std::size_t capacity = DefaultCapacity);

    // Starts on a demo: its first byte is offset 0.
    void open(ByteSource& source);

    // A cursor at `offset`, which the walk has reached.
    BlockCursor cursorAt(std::uint64_t offset)
    {
        return BlockCursor(this, offset, buffer_.get() + (offset - origin_), buffer_.get() + filled_);
    }

    // Bytes from `offset` on stay in the window, whatever cursors read past them:
    // the next block starts there even when a payload ran past its block's end.
    void keepFrom(std::uint64_t offset) { keepFrom_ = offset; }

    // The bytes from `offset` on that are in memory now, without reading any more: where a
    // walk may look without a cursor, and never further.
    std::size_t atHand(std::uint64_t offset, const std::uint8_t*& bytes) const
    {
        if (offset < origin_ || offset > end())
            return 0;
        bytes = buffer_.get() + (offset - origin_);
        return static_cast<std::size_t>(end() - offset);
    }

    // Whether the data holds every byte before `offset`; reads on through to it.
    bool reaches(std::uint64_t offset) { return offset <= end() || readThrough(offset); }

    // The bytes of memory it holds now.
    std::size_t capacity() const { return capacity_; }

private:
    friend class BlockCursor;

    struct Span {
        const std::uint8_t* data;
        std::size_t size;
    };
    // The bytes from `offset` (at or after the window's start) in one piece: at
    // least `count` of them, unless the data ends first.
    Span extend(std::uint64_t offset, std::size_t count);

    std::uint64_t end() const { return origin_ + filled_; }
    bool readThrough(std::uint64_t offset);
    void discardBefore(std::uint64_t offset);
    void resize(std::size_t capacity);
    // False at the end of the data.
    bool readMore();

    std::size_t nominal_;
    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    ByteSource* source_ = nullptr;
    std::uint64_t origin_ = 0;  // the offset of the buffer's first byte
    std::size_t filled_ = 0;
    std::uint64_t keepFrom_ = 0;
    bool ended_ = false;
};

}  // namespace kest
