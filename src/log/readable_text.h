#pragma once

#include <string>
#include <string_view>

namespace kest {

// A demo's text as the game's console shows it in plain ASCII: tab, LF and space as they
// are, the high (colour) bit cleared, bytes 16 and 17 as the brackets they are drawn as, any
// other control byte as '.'.
void appendConsoleText(std::string& out, std::string_view text);
std::string consoleText(std::string_view text);

// A name as it is, where it is UTF-8; each byte that is no part of valid UTF-8 as U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace kest
