// Long names against patterns by the rules of Windows' search, which keep the meaning the
// wildcards had under MS-DOS.
#include "driver/long_name_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kest {
namespace {

// The names of `names` that `pattern` matches, in their order.
std::vector<std::wstring> matching(const std::wstring& pattern, const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> matched;
    for (const std::wstring& name : names) {
        if (longNameMatches(pattern, name))
            matched.push_back(name);
    }
    return matched;
}

using Names = std::vector<std::wstring>;

// Names a short 8.3 alias would let *.dm2 find, and names it must find.
TEST(LongNameMatch, OnlyTheLongNameCounts)
{
    const Names names = {L"a.dm2",      L"notes.dm2_old", L"match.dm2~", L"x.dm2x",
                         L"duel.dm2 (1)", L"A.DM2",       L"duel.Dm2",   L"x.y.dm2"};
    EXPECT_EQ(matching(L"*.dm2", names), (Names{L"a.dm2", L"A.DM2", L"duel.Dm2", L"x.y.dm2"}));
    EXPECT_EQ(matching(L"*.DM2", names), (Names{L"a.dm2", L"A.DM2", L"duel.Dm2", L"x.y.dm2"}));
    EXPECT_EQ(matching(L"*.dm2*", names), names);
    EXPECT_EQ(matching(L"NOTES~1.DM2", names), Names{});
}

// "*" and "*.*" match every name, dot or none; "*." only the names without a dot.
TEST(LongNameMatch, StarsAndDots)
{
    const Names names = {L"nodot", L"a.dm2", L"x.y.dm2", L".hidden", L"trailing."};
    EXPECT_EQ(matching(L"*", names), names);
    EXPECT_EQ(matching(L"*.*", names), names);
    EXPECT_EQ(matching(L"*.", names), Names{L"nodot"});
    EXPECT_EQ(matching(L"x.*", names), Names{L"x.y.dm2"});
    EXPECT_EQ(matching(L"nodot.*", names), Names{L"nodot"});  // a dot before a wildcard may match the end
    EXPECT_EQ(matching(L"*.y.*", names), Names{L"x.y.dm2"});
    EXPECT_EQ(matching(L"*dm2", names), (Names{L"a.dm2", L"x.y.dm2"}));
    EXPECT_EQ(matching(L"a*2", names), Names{L"a.dm2"});
}

// '?' matches one character, but none at a dot or at the end of the name.
TEST(LongNameMatch, QuestionMarks)
{
    const Names names = {L"duel.dm2", L"duel1.dm2", L"duel12.dm2", L"duel.dm", L"duel1", L"dual.dm2"};
    EXPECT_EQ(matching(L"duel?.dm2", names), (Names{L"duel.dm2", L"duel1.dm2"}));
    EXPECT_EQ(matching(L"duel??.dm2", names), (Names{L"duel.dm2", L"duel1.dm2", L"duel12.dm2"}));
    EXPECT_EQ(matching(L"duel.dm?", names), (Names{L"duel.dm2", L"duel.dm"}));
    EXPECT_EQ(matching(L"duel?", names), Names{L"duel1"});
    EXPECT_EQ(matching(L"d??l.dm2", names), (Names{L"duel.dm2", L"dual.dm2"}));
    EXPECT_EQ(matching(L"?uel.dm2", names), Names{L"duel.dm2"});
    EXPECT_EQ(matching(L"????.*", names), (Names{L"duel.dm2", L"duel.dm", L"dual.dm2"}));
}

// Letters are compared without regard to case, outside ASCII too; a character outside the
// basic plane is two UTF-16 units, so two question marks.
TEST(LongNameMatch, LettersWithoutRegardToCase)
{
    const Names names = {L"\u00E9t\u00E9.dm2", L"\u00C9T\u00C9.DM2", L"\u03A9mega.dm2", L"\U0001F3AE.dm2"};
    EXPECT_EQ(matching(L"\u00C9t\u00C9.Dm2", names), (Names{L"\u00E9t\u00E9.dm2", L"\u00C9T\u00C9.DM2"}));
    EXPECT_EQ(matching(L"\u03C9*", names), Names{L"\u03A9mega.dm2"});
    EXPECT_EQ(matching(L"??.dm2", names), Names{L"\U0001F3AE.dm2"});
}

TEST(LongNameMatch, Wildcards)
{
    EXPECT_FALSE(hasWildcards(L"duel.dm2"));
    EXPECT_FALSE(hasWildcards(L"NOTES~1.DM2"));
    for (const wchar_t* name : {L"*.dm2", L"duel?.dm2", L"duel<.dm2", L"duel>", L"duel\".dm2"})
        EXPECT_TRUE(hasWildcards(name)) << name;
}

}  // namespace
}  // namespace kest
