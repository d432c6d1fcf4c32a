#include "driver/long_name_match.h"

#include <string>
#include <utility>
#include <vector>

namespace kest {
namespace {

// The wildcards of MS-DOS, as Windows' file systems know them (FsRtlIsNameInExpression).
constexpr wchar_t DosStar = L'<';          // any characters, but not the name's last dot
constexpr wchar_t DosQuestionMark = L'>';  // one character, or none at a dot or the end
constexpr wchar_t DosDot = L'"';           // a dot, or none at the end

// The pattern as Windows' search hands it to the file system.
std::wstring dosExpression(std::wstring_view pattern)
{
    if (pattern == L"*" || pattern == L"*.*")
        return L"*";
    std::wstring expression;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        const bool last = i + 1 == pattern.size();
        if (c == L'?')
            expression += DosQuestionMark;
        else if (c == L'.' && last && i > 0 && pattern[i - 1] == L'*')
            expression.back() = DosStar;  // "*." at the end: the names without a dot
        else if (c == L'.' && !last && (pattern[i + 1] == L'?' || pattern[i + 1] == L'*'))
            expression += DosDot;
        else
            expression += c;
    }
    return expression;
}

}  // namespace

bool hasWildcards(std::wstring_view name)
{
    return name.find_first_of(L"*?<>\"") != std::wstring_view::npos;
}

bool longNameMatches(std::wstring_view pattern, std::wstring_view name)
{
    const std::wstring expression = dosExpression(pattern);
    const std::size_t lastDot = name.rfind(L'.');
    // rest[k]: whether the expression from the symbol at hand to its end matches
    // the name from its character k to its end; built from the end of the expression back.
    std::vector<char> rest(name.size() + 1, 0);
    std::vector<char> withThis(name.size() + 1);
    rest[name.size()] = 1;
    for (std::size_t e = expression.size(); e-- > 0;) {
        const wchar_t symbol = expression[e];
        for (std::size_t k = name.size() + 1; k-- > 0;) {
            const bool atEnd = k == name.size();
            switch (symbol) {
            case L'*':
                withThis[k] = rest[k] || (!atEnd && withThis[k + 1]);
                break;
            case DosStar:
                withThis[k] = rest[k] || (!atEnd && k != lastDot && withThis[k + 1]);
                break;
            case DosQuestionMark:
                withThis[k] = atEnd || name[k] == L'.' ? rest[k] : rest[k + 1];
                break;
            case DosDot:
                withThis[k] = atEnd ? rest[k] : name[k] == L'.' && rest[k + 1];
                break;
            default:
                withThis[k] = !atEnd && sameLetterAnyCase(symbol, name[k]) && rest[k + 1];
            }
        }
        std::swap(rest, withThis);
    }
    return rest[0] != 0;
}

}  // namespace kest
