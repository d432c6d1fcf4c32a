#include "log/message_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kest {
namespace {

// What a list is asked to do: append `number` records with texts of `size` bytes, give the
// record at index `number` a text of `size` bytes, or keep the first `number` records.
struct Step {
    enum { Append, Replace, KeepFirst } what;
    std::size_t number;
    std::size_t size;
};

// Texts that differ from record to record, so that one written over another shows.
std::string textOf(std::size_t size, std::size_t seed)
{
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (seed * 7 + i) % 26);
    return text;
}

// Kinds that come round in turn, shown in the log or not: the list keeps any.
RecordKind kindOf(std::size_t number) { return static_cast<RecordKind>(number % 7 * 50); }

// A list gives back its own copies of the texts in append order, whatever their kind, and
// each list ends with the records a vector of strings would hold after the same steps.
TEST(MessageList, EveryTextStaysAsGivenThroughReplacementsAndDrops)
{
    constexpr std::size_t Chunk = 64 * 1024;  // bytes a chunk of texts holds, unless one text is longer
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"records and texts past their first chunks", {{Step::Append, 9000, 37}}},
        {"a text longer than a chunk between short ones",
         {{Step::Append, 3, 10}, {Step::Append, 1, Chunk + 1}, {Step::Append, 1, 0}, {Step::Append, 3, 10}}},
        {"texts that fill a chunk exactly", {{Step::Append, 9, Chunk / 4}, {Step::Append, 1, 0}}},
        {"a shorter text, then a longer one", {{Step::Append, 4, 5}, {Step::Replace, 1, 2}, {Step::Replace, 1, 9}}},
        {"dropping records, then appending again",
         {{Step::Append, 5000, 30}, {Step::KeepFirst, 4000, 0}, {Step::Append, 3000, 20}, {Step::KeepFirst, 0, 0},
          {Step::Append, 2, 3}}},
        {"a kept record's text replaced after the records dropped",
         {{Step::Append, 3, 5}, {Step::Append, 3, 40}, {Step::Replace, 1, 200}, {Step::KeepFirst, 3, 0},
          {Step::Append, 10, 40}}},
        {"dropping back to a text that had a chunk to itself",
         {{Step::Append, 2, 10}, {Step::Append, 1, 3 * Chunk}, {Step::Append, 2, 10}, {Step::KeepFirst, 2, 0},
          {Step::Append, 1000, 100}}},
        {"dropping back to an empty text after a full chunk",
         {{Step::Append, 2, Chunk / 2}, {Step::Append, 1, 0}, {Step::Append, 3, 7}, {Step::KeepFirst, 2, 0},
          {Step::Append, 3, 7}}},
        {"keeping more records than there are", {{Step::Append, 3, 4}, {Step::KeepFirst, 5, 0}}},
        {"no records", {}},
    };
    for (const auto& c : cases) {
        MessageList list;
        std::vector<std::string> expected;
        for (const Step& step : c.steps) {
            if (step.what == Step::Append) {
                for (std::size_t i = 0; i < step.number; ++i) {
                    std::string text = textOf(step.size, expected.size());
                    expected.push_back(text);
                    list.append(static_cast<std::int64_t>(expected.size()), kindOf(expected.size()), text);
                    text.assign("changed");  // the list keeps a copy of its own
                }
            } else if (step.what == Step::Replace) {
                expected.at(step.number) = textOf(step.size, step.number + 1000);
                list.replaceText(step.number, expected[step.number]);
            } else {
                expected.resize(std::min(step.number, expected.size()));
                list.keepFirst(step.number);
            }
        }
        EXPECT_EQ(list.size(), expected.size()) << c.name;
        for (int pass = 0; pass < 2; ++pass) {  // first() starts the walk over
            std::size_t index = 0;
            for (const MessageRecord* record = list.first(); record != nullptr; record = list.next(), ++index) {
                ASSERT_LT(index, expected.size()) << c.name;
                EXPECT_EQ(record->time, static_cast<std::int64_t>(index + 1)) << c.name << ", record " << index;
                EXPECT_EQ(record->kind, kindOf(index + 1)) << c.name << ", record " << index;
                ASSERT_EQ(record->text, expected[index]) << c.name << ", record " << index;
            }
            EXPECT_EQ(index, expected.size()) << c.name;
            EXPECT_EQ(list.next(), nullptr) << c.name;
        }
    }
}

}  // namespace
}  // namespace kest
