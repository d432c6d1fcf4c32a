#include "log/message_list.h"

#include <gtest/gtest.h>

#include "demo_support.h"

namespace kest::test {
namespace {

using Records = std::vector<Record>;

TEST(MessageList, EmptyListHasNoFirstAndNoNext)
{
    MessageList list;
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
}

TEST(MessageList, RecordsComeBackInAppendOrderWhateverTheirKind)
{
    MessageList list;
    list.append(0, RecordKind::DemoFileName, "a.dm2");
    list.append(0, RecordKind::DemoFileSize, "523");
    list.append(7, RecordKind::Print, "level 0\n");
    list.append(3, RecordKind::Chat, "hi\n");
    list.append(1, static_cast<RecordKind>(5), "unshown kind");
    list.append(2, RecordKind::MapName, "");
    EXPECT_EQ(recordsOf(list), (Records{{0, 100, "a.dm2"},
                                        {0, 101, "523"},
                                        {7, 0, "level 0\n"},
                                        {3, 3, "hi\n"},
                                        {1, 5, "unshown kind"},
                                        {2, 6, ""}}));
}

TEST(MessageList, NextPastTheLastKeepsGivingNothingAndFirstStartsOver)
{
    MessageList list;
    list.append(1, RecordKind::Frag, "one");
    list.append(2, RecordKind::Frag, "two");
    ASSERT_NE(list.first(), nullptr);
    ASSERT_NE(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
    const MessageRecord* again = list.first();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->text, "one");
    EXPECT_EQ(list.next()->text, "two");
}

TEST(MessageList, KeepsItsOwnCopyOfTheText)
{
    MessageList list;
    std::string text = "say\xE9 hello\n";
    list.append(9, RecordKind::Chat, text);
    text.assign("changed");
    EXPECT_EQ(recordsOf(list), (Records{{9, 3, "say\xE9 hello\n"}}));
}

}  // namespace
}  // namespace kest::test
