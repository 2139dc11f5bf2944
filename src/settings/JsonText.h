#pragma once
// JSON text from outside (profile files, exchange files, the catalogue's
// replies, the update manifest) read into a document. The nesting is
// checked as the tokens arrive: a value nested deeper than kMaxJsonDepth
// stops the reading at its opening bracket, so a hostile text costs time
// and memory in proportion to what was read up to there, never more.
// Failures are values with the program's own words. Any thread; no state.

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>

namespace qv {

// Every format the program reads is at most three levels deep (a profile
// two, a catalogue list three); this leaves a wide margin.
inline constexpr int kMaxJsonDepth = 16;

enum class JsonTrailingText {
    kRefused,  // the whole text must be one value (blanks around it allowed)
    kIgnored,  // the first complete value is read; what follows is not examined
};

// Parses `text` into `out`. False (out is then null) with `error` when the
// text is not JSON ("invalid JSON at line L, column C") or nests deeper than
// kMaxJsonDepth ("JSON nested deeper than 16 levels at line L, column C").
bool parseJsonText(std::string_view text, nlohmann::json& out, std::string* error = nullptr,
                   JsonTrailingText trailing = JsonTrailingText::kRefused);

// "line L, column C" of the byte at `offset` (1-based; an offset at or past
// the end names the place just after the last character).
std::string jsonTextPlace(std::string_view text, size_t offset);

}  // namespace qv
