#pragma once

#include <string_view>

namespace kest {

// Whether a name as typed holds any of the characters that Windows' search takes as
// wildcards: '*' and '?', and the '<', '>' and '"' it turns them into.
bool hasWildcards(std::wstring_view name);

// Whether a file's long name matches the last name of a pattern by the rules of Windows'
// own search, letters compared without regard to case. The search gives the pattern the
// meaning it had under MS-DOS: "*" and "*.*" match every name, "*." the names without a
// dot; '?' matches one character, or none before a dot or at the end ("duel?.dm2" finds
// duel.dm2), and a dot before a wildcard may match the end of the name ("duel.*" finds duel).
bool longNameMatches(std::wstring_view pattern, std::wstring_view name);

// Whether two characters are the same letter without regard to case, by the system's own
// table of capitals, as its file system compares names: each platform's file supplies it.
bool sameLetterAnyCase(wchar_t a, wchar_t b);

}  // namespace kest
