// Long names against patterns by the rules of Windows' search, which keep the meaning the
// wildcards had under MS-DOS.
#include "driver/long_name_match.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace kest {
namespace {

using Names = std::vector<std::wstring>;

// Which names each pattern matches, in their order.
TEST(LongNameMatch, PatternsAgainstNames)
{
    // Names a short 8.3 alias would let *.dm2 find, and names it must find.
    const Names aliases = {L"a.dm2",        L"notes.dm2_old", L"match.dm2~", L"x.dm2x",
                           L"duel.dm2 (1)", L"A.DM2",         L"duel.Dm2",   L"x.y.dm2"};
    const Names dots = {L"nodot", L"a.dm2", L"x.y.dm2", L".hidden", L"trailing."};
    const Names marks = {L"duel.dm2", L"duel1.dm2", L"duel12.dm2", L"duel.dm", L"duel1", L"dual.dm2"};
    // Letters outside ASCII too; a character outside the basic plane is two UTF-16 units.
    const Names letters = {L"\u00E9t\u00E9.dm2", L"\u00C9T\u00C9.DM2", L"\u03A9mega.dm2", L"\U0001F3AE.dm2"};
    const std::tuple<const wchar_t*, const Names&, Names> cases[] = {
        // Only the long name counts, without regard to case.
        {L"*.dm2", aliases, {L"a.dm2", L"A.DM2", L"duel.Dm2", L"x.y.dm2"}},
        {L"*.DM2", aliases, {L"a.dm2", L"A.DM2", L"duel.Dm2", L"x.y.dm2"}},
        {L"*.dm2*", aliases, aliases},
        {L"NOTES~1.DM2", aliases, {}},
        // "*" and "*.*" match every name, dot or none; "*." only the names without a dot.
        {L"*", dots, dots},
        {L"*.*", dots, dots},
        {L"*.", dots, {L"nodot"}},
        {L"x.*", dots, {L"x.y.dm2"}},
        {L"nodot.*", dots, {L"nodot"}},  // a dot before a wildcard may match the end
        {L"*.y.*", dots, {L"x.y.dm2"}},
        {L"*dm2", dots, {L"a.dm2", L"x.y.dm2"}},
        {L"a*2", dots, {L"a.dm2"}},
        // '?' matches one character, but none at a dot or at the end of the name.
        {L"duel?.dm2", marks, {L"duel.dm2", L"duel1.dm2"}},
        {L"duel??.dm2", marks, {L"duel.dm2", L"duel1.dm2", L"duel12.dm2"}},
        {L"duel.dm?", marks, {L"duel.dm2", L"duel.dm"}},
        {L"duel?", marks, {L"duel1"}},
        {L"d??l.dm2", marks, {L"duel.dm2", L"dual.dm2"}},
        {L"?uel.dm2", marks, {L"duel.dm2"}},
        {L"????.*", marks, {L"duel.dm2", L"duel.dm", L"dual.dm2"}},
        {L"\u00C9t\u00C9.Dm2", letters, {L"\u00E9t\u00E9.dm2", L"\u00C9T\u00C9.DM2"}},
        {L"\u03C9*", letters, {L"\u03A9mega.dm2"}},
        {L"??.dm2", letters, {L"\U0001F3AE.dm2"}},
    };
    for (const auto& [pattern, names, expected] : cases) {
        Names matched;
        for (const std::wstring& name : names) {
            if (longNameMatches(pattern, name))
                matched.push_back(name);
        }
        EXPECT_EQ(matched, expected) << ::testing::PrintToString(std::wstring(pattern));
    }
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
