#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kest {

// A demo's text as the game's console shows it in plain ASCII: tab, LF and space as they
// are, the high (colour) bit cleared, bytes 16 and 17 as the brackets they are drawn as, any
// other control byte as '.'.
inline constexpr std::array<char, 256> ConsoleCharacters = [] {
    std::array<char, 256> shown{};
    for (std::size_t byte = 0; byte < shown.size(); ++byte) {
        const std::size_t plain = byte & 0x7F;
        if (byte == '\t' || byte == '\n' || byte == ' ')
            shown[byte] = static_cast<char>(byte);
        else if (plain >= ' ' && plain < 0x7F)
            shown[byte] = static_cast<char>(plain);
        else
            shown[byte] = plain == 16 ? '[' : plain == 17 ? ']' : '.';
    }
    return shown;
}();

inline char consoleCharacter(char byte) { return ConsoleCharacters[static_cast<unsigned char>(byte)]; }

void appendConsoleText(std::string& out, std::string_view text);
std::string consoleText(std::string_view text);

// A name as it is, where it is UTF-8; each byte that is no part of valid UTF-8 as U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace kest
