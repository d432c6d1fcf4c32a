#pragma once

#include <string_view>

namespace kest::report {

// The match report's style sheet and script (src/log/report/), built into kest, and the
// 'sha256-...' source by which the page's content security policy lets each of them run.
extern const std::string_view Style;
extern const std::string_view StyleHash;
extern const std::string_view Script;
extern const std::string_view ScriptHash;

}  // namespace kest::report
