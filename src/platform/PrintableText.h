#pragma once
// Text from outside (servers, the environment, files) made safe to print on
// a terminal.

#include <string>
#include <string_view>

namespace qv {

// `text` with every control character replaced by '?': the C0 controls
// (below 0x20, line breaks and tabs included), DEL, and the C1 controls as
// UTF-8 encodes them (0xC2 0x80..0x9F), and the bidirectional formatting
// characters (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069).
// Escape sequences from outside can then neither retitle nor clear the
// user's terminal, nor fake lines, nor show text reversed.
std::string printableText(std::string_view text);

}  // namespace qv
