#pragma once
// Texts that came from outside (a server's reply, an imported file's name)
// made safe to draw or to use as a profile name. Any thread; no state.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// A name that came from outside (a catalogue entry, an imported file's name)
// made safe as a profile name: path separators and control characters
// become "_", malformed UTF-8 becomes U+FFFD, blanks and dots at either end
// are dropped, and the text is cut to kMaxProfileNameBytes at a character
// boundary. Empty when even the cleaned name fails isValidProfileName ("",
// ".", ".." ...).
std::string cleanOutsideProfileName(std::string_view raw);

// Text from a server made fit to draw: valid UTF-8, control characters and
// bidirectional formatting characters dropped (line breaks and tabs become
// blanks), cut at a character boundary to at most maxBytes.
std::string cleanServerText(std::string_view raw, size_t maxBytes);

// Text shortened to at most maxBytes (at least 4) for a status line: cut
// after the last whole word that fits, with "..." after it; a single word
// longer than the line is cut at a character boundary. Shorter text is
// returned as it is.
std::string cutAtWord(std::string_view text, size_t maxBytes);

// The same for text of several lines (release notes): each LF becomes
// CR LF, the form the dialogs lay out; a CR alone is dropped.
std::string cleanServerLines(std::string_view raw, size_t maxBytes);

}  // namespace qv
