#pragma once
// UTF-8 checks and repairs for text that reaches the text layout. Text drawn
// by the interface may come from servers, files or fixed-size buffers cut at a
// byte count, so it is made valid before layout and cut only between
// characters.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no NUL).
bool isWellFormedUtf8(std::string_view text);

// Writes the text to `out` with every malformed sequence replaced by U+FFFD;
// the text ends at its first NUL. `out` keeps its capacity between calls.
void sanitizeUtf8(std::string_view text, std::string& out);

// The largest length <= maxBytes at which the text can be cut without
// splitting a multi-byte character.
size_t utf8CutPosition(std::string_view text, size_t maxBytes);

// Copies the NUL-terminated `source` (null counts as empty) into a field of
// `capacity` bytes, cut at a character boundary so that it fits with its
// terminator. Returns the bytes copied (without the terminator). Nothing is
// written when capacity is 0.
size_t copyUtf8Truncated(char* destination, size_t capacity, const char* source);

// Byte offset of the character with the given index (clamped to the text).
size_t utf8ByteOffset(std::string_view text, int characterIndex);

// Number of characters (lead bytes) in the text.
int utf8CharacterCount(std::string_view text);

}  // namespace qv
