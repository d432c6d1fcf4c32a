// Decoding through a window of a few bytes: every block, text and payload then
// straddles the window's edge somewhere, and the outcome must be that of a
// window that holds the whole demo.
#include "demo/demo_window.h"

#include <gtest/gtest.h>

#include <string>

#include "demo_writer/demo_writer.h"
#include "test_support.h"

namespace kest {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::MessageWriter;

// A demo that puts every kind of read the window must serve behind a lead-in
// block of `shift` bytes, so that each lands at another offset of the window.
Bytes demoShiftedBy(std::size_t shift)
{
    return DemoWriter()
        .block(MessageWriter().layout(std::string(shift, 'l')))
        .block(MessageWriter().serverData(34, 1, 0, "baseq2", 0, "Level").configString(33, "maps/q2dm1.bsp"))
        .block(MessageWriter().print(3, "a text longer than the window\n").frame().print(3, "hidden"))
        .block(MessageWriter().inventory({1, 2, 3}).print(1, "after a 512-byte payload\n"))
        // The print's text runs on past its block of three bytes into the next length field.
        .blockWithLength(3, {0x0A, 0x02, 'x'})
        .block(MessageWriter().download(5, 50, {1, 2, 3, 4, 5}).print(2, "next\n"))
        // A sound whose flags, index and entity are the next block's length field: three reads past its block.
        .blockWithLength(1, {0x09})
        .block(MessageWriter().print(2, "after\n"))
        .block(Bytes{})
        .block(MessageWriter().print(2, "last\n"))
        .endMarker()
        .bytes();
}

TEST(DemoWindow, SmallWindowsAtEveryOffsetDecodeAsAWholeOne)
{
    for (std::size_t shift = 0; shift < 24; ++shift) {
        const Bytes demo = demoShiftedBy(shift);
        const std::string whole = decoded(demo, FactScope::Log, demo.size());
        ASSERT_NE(whole.find("2 4 Q2DM1.BSP|"), std::string::npos) << whole;
        ASSERT_NE(whole.find("|5 2 x"), std::string::npos) << whole;
        ASSERT_NE(whole.find("|8 2 after\n|"), std::string::npos) << whole;
        for (std::size_t capacity = 1; capacity <= 40; ++capacity) {
            SCOPED_TRACE("shift " + std::to_string(shift) + ", window of " + std::to_string(capacity));
            EXPECT_EQ(decoded(demo, FactScope::Log, capacity), whole);
            EXPECT_EQ(decoded(demo, FactScope::Log, capacity, 3), whole);
        }
    }
}

// Data that ends inside a length, a text or a payload gives the same damage offset whatever the window.
TEST(DemoWindow, CutDemosEndAtTheSameByteWhateverTheWindow)
{
    const Bytes demo = demoShiftedBy(5);
    for (std::size_t cut = 0; cut <= demo.size(); ++cut) {
        const Bytes part(demo.begin(), demo.begin() + static_cast<std::ptrdiff_t>(cut));
        const std::string whole = decoded(part);
        for (const std::size_t capacity : {1, 2, 3, 5, 8, 13}) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + ", window of " + std::to_string(capacity));
            EXPECT_EQ(decoded(part, FactScope::Log, capacity, 2), whole);
        }
    }
}

}  // namespace
}  // namespace kest
