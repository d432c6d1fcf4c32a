#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "demo/block_cursor.h"
#include "demo/demo_window.h"
#include "driver/error_reporter.h"
#include "log/message_list.h"

namespace kest {

// Where a damaged demo stops making sense: its records up to there are kept.
struct DemoDamage {
    std::uint64_t offset;
};

// A fatal error raised by decoding one command, with where that command's code
// byte is: a run that keeps going past such a demo keeps its records up to there.
class DecodeError : public FatalError {
public:
    DecodeError(const FatalError& error, std::uint64_t offset) : FatalError(error), offset_(offset) {}

    std::uint64_t offset() const { return offset_; }

private:
    std::uint64_t offset_;
};

// Walks the blocks of the demo open in a window and collects its printed
// messages, level name and map file. Unknown commands raise a DecodeError
// through report_error; damaged data ends only this demo.
class DemoParser {
public:
    explicit DemoParser(DemoWindow& window) : window_(window) {}
    virtual ~DemoParser() = default;

    std::optional<DemoDamage> run(MessageList& list);

private:
    // The offset of a command that ran out of data, if one did.
    std::optional<std::uint64_t> decodeBlock(BlockCursor& cursor, std::uint64_t blockEnd);
    // Every command but the frame, which decodeBlock takes as the end of the block.
    void decodeCommand(BlockCursor& cursor);

    void decodeTempEntity(BlockCursor& cursor);
    void decodeSound(BlockCursor& cursor);
    void decodePrint(BlockCursor& cursor);
    void decodeServerData(BlockCursor& cursor);
    void decodeConfigString(BlockCursor& cursor);
    void decodeDownload(BlockCursor& cursor);
    void decodePacketEntities(BlockCursor& cursor);

    DemoWindow& window_;
    MessageList* list_ = nullptr;
    ErrorReporter reporter_;

    std::int64_t blockCount_ = 0;

    // Decoding state, named as the error messages show it.
    std::uint8_t this_id = 0;
    std::uint8_t prev_id = 0;
    std::int32_t isdemo = 1;
    std::int32_t sv_version = 0;  // the demo's protocol, once its server data is read
};

}  // namespace kest
