#include "log/message_list.h"

#include <gtest/gtest.h>

#include <string>

namespace kest {
namespace {

TEST(MessageList, GivesBackItsOwnCopiesInAppendOrderWhateverTheirKind)
{
    MessageList list;
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.next(), nullptr);

    std::string text = "say\xE9 hello\n";
    list.append(0, RecordKind::DemoFileName, "a.dm2");
    list.append(7, RecordKind::Print, "level 0\n");
    list.append(3, RecordKind::Chat, text);
    list.append(1, static_cast<RecordKind>(5), "unshown kind");
    list.append(2, RecordKind::MapName, "");
    text.assign("changed");

    std::string seen;
    for (const MessageRecord* record = list.first(); record != nullptr; record = list.next())
        seen += std::to_string(record->time) + " " + std::to_string(static_cast<int>(record->kind)) + " [" +
                record->text + "]\n";
    EXPECT_EQ(seen, "0 100 [a.dm2]\n7 0 [level 0\n]\n3 3 [say\xE9 hello\n]\n1 5 [unshown kind]\n2 6 []\n");
    EXPECT_EQ(list.next(), nullptr);
    ASSERT_NE(list.first(), nullptr);
    EXPECT_EQ(list.first()->text, "a.dm2");
}

}  // namespace
}  // namespace kest
