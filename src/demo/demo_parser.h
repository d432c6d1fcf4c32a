#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "demo/block_cursor.h"
#include "demo/demo_window.h"
#include "demo/server_message_decoder.h"
#include "log/message_list.h"

namespace kest {

// Where a damaged demo stops making sense: its records up to there are kept.
struct DemoDamage {
    std::uint64_t offset;
};

// How a demo format marks out its blocks: each starts with a little-endian
// length field, and one value of that field ends the demo.
struct BlockFraming {
    std::uint64_t firstBlock;  // the offset of the first length field, after any magic
    std::size_t lengthWidth;
    std::uint32_t endMarker;
    std::uint32_t longestBlock;  // a longer one is damage
};

// Walks the blocks of the demo open in a window, a player's recording or a
// server's multi-view one, told apart by their first bytes, and collects
// their printed messages, level names and map files. Unknown commands raise
// a DecodeError; damaged data ends only this demo.
class DemoParser {
public:
    // How blocks are stepped over: the lean way looks at the bytes at hand for the blocks that
    // keep nothing; the cursor's way reads every block through the cursor. Both give
    // the same outcome, which the fuzz round trip checks.
    enum class Walk { Lean, CursorOnly };

    explicit DemoParser(DemoWindow& window, Walk walk = Walk::Lean, FactScope scope = FactScope::Log)
        : window_(window), walk_(walk), scope_(scope)
    {
    }
    virtual ~DemoParser() = default;

    std::optional<DemoDamage> run(MessageList& list);

private:
    // The walk, and then the demo's play time for the match facts, however the walk ends.
    template <typename Format, typename Decoder>
    std::optional<DemoDamage> walkTimed(Decoder& decoder, MessageList& list);
    template <typename Format, typename Decoder>
    std::optional<DemoDamage> walk(Decoder& decoder);
    // Steps over the blocks from `lengthOffset` on that keep nothing; gives where it stopped.
    template <typename Format, typename Decoder>
    std::uint64_t skipQuietBlocks(std::uint64_t lengthOffset, const Decoder& decoder);

    DemoWindow& window_;
    Walk walk_;
    FactScope scope_;
    std::int64_t blockCount_ = 0;
};

}  // namespace kest
