#include "log/json_out.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "log/readable_text.h"

namespace kest {
namespace {

constexpr char Hex[] = "0123456789abcdef";

// The longest a byte becomes: \u00XX.
constexpr std::size_t LongestEscape = 6;

// Whether a byte cannot stand in a JSON string as it is.
constexpr std::array<bool, 256> NeedsEscape = [] {
    std::array<bool, 256> needs{};
    for (std::size_t byte = 0; byte < 0x20; ++byte)
        needs[byte] = true;
    needs['"'] = needs['\\'] = true;
    return needs;
}();

// Whether a byte is printable ASCII that JSON takes as it is: the console shows it so too.
constexpr std::array<bool, 256> IsPlain = [] {
    std::array<bool, 256> plain{};
    for (std::size_t byte = ' '; byte < 0x7F; ++byte)
        plain[byte] = byte != '"' && byte != '\\';
    return plain;
}();

char* escape(char* at, char c)
{
    *at++ = '\\';
    switch (c) {
    case '"': *at++ = '"'; break;
    case '\\': *at++ = '\\'; break;
    case '\n': *at++ = 'n'; break;
    case '\t': *at++ = 't'; break;
    case '\r': *at++ = 'r'; break;
    default:
        const auto code = static_cast<unsigned char>(c);
        std::memcpy(at, "u00", 3);
        at[3] = Hex[code >> 4];
        at[4] = Hex[code & 0xF];
        at += 5;
    }
    return at;
}

}  // namespace

void JsonOut::grow(std::size_t count)
{
    buffer_.resize(std::max(2 * buffer_.size(), used_ + count + 4096));
}

JsonOut& JsonOut::begin(char bracket)
{
    separate();
    put(bracket);
    first_ = true;
    return *this;
}

JsonOut& JsonOut::end(char bracket)
{
    put(bracket);
    first_ = false;
    return *this;
}

JsonOut& JsonOut::text(std::string_view value)
{
    separate();
    escaped(value, [](char c) { return c; });
    return *this;
}

JsonOut& JsonOut::plainText(std::string_view value)
{
    separate();
    char* at = room(value.size() + 2);
    *at = '"';
    if (!value.empty())
        std::memcpy(at + 1, value.data(), value.size());
    at[value.size() + 1] = '"';
    used_ += value.size() + 2;
    return *this;
}

JsonOut& JsonOut::consoleText(std::string_view demoText)
{
    separate();
    escaped(demoText, consoleCharacter);
    return *this;
}

JsonOut& JsonOut::number(std::int64_t value)
{
    separate();
    constexpr std::size_t MostDigits = 20;
    char* at = room(MostDigits);
    used_ = static_cast<std::size_t>(std::to_chars(at, at + MostDigits, value).ptr - buffer_.data());
    return *this;
}

JsonOut& JsonOut::boolean(bool value)
{
    separate();
    put(value ? "true" : "false");
    return *this;
}

JsonOut& JsonOut::null()
{
    separate();
    put("null");
    return *this;
}

JsonOut& JsonOut::endLine()
{
    put('\n');
    first_ = true;
    return *this;
}

template <typename Shown>
void JsonOut::escaped(std::string_view value, Shown shown)
{
    char* at = room(LongestEscape * value.size() + 2);
    *at++ = '"';
    // Most texts are printable ASCII throughout, which stands as it is.
    std::size_t plain = 0;
    while (plain < value.size() && IsPlain[static_cast<unsigned char>(value[plain])])
        ++plain;
    if (plain > 0)
        std::memcpy(at, value.data(), plain);
    at += plain;
    for (const char byte : value.substr(plain)) {
        const char c = shown(byte);
        if (NeedsEscape[static_cast<unsigned char>(c)])
            at = escape(at, c);
        else
            *at++ = c;
    }
    *at++ = '"';
    used_ = static_cast<std::size_t>(at - buffer_.data());
}

}  // namespace kest
