#include "platform/PrintableText.h"

namespace qv {

namespace {

// The UTF-8 length of a bidirectional formatting character at text[i]
// (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069), else 0.
size_t bidiControlLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u; };
    if (at(0) == 0xd8 && at(1) == 0x9c)
        return 2;
    if (at(0) != 0xe2)
        return 0;
    if (at(1) == 0x80 && (at(2) == 0x8e || at(2) == 0x8f || (at(2) >= 0xaa && at(2) <= 0xae)))
        return 3;
    if (at(1) == 0x81 && at(2) >= 0xa6 && at(2) <= 0xa9)
        return 3;
    return 0;
}

}  // namespace

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            out.push_back('?');
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            out.push_back('?');
            ++i;
        } else if (const size_t bidi = bidiControlLength(text, i)) {
            out.push_back('?');
            i += bidi - 1;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace qv
