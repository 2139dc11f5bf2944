#include "platform/graphics/Utf8.h"

#include <cstring>

namespace qv {

namespace {

// Length of the well-formed sequence at text[i], or 0 when it is malformed.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const size_t left = text.size() - i;
    if (lead >= 0x01 && lead <= 0x7F)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // overlong
        else if (lead == 0xED)
            high = 0x9F;  // UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;  // overlong
        else if (lead == 0xF4)
            high = 0x8F;  // above U+10FFFF
    } else {
        return 0;  // NUL, stray continuation byte, C0, C1, F5..FF
    }
    if (left < length)
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool isWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = sequenceLength(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void sanitizeUtf8(std::string_view text, std::string& out) {
    out.clear();
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    for (size_t i = 0; i < text.size();) {
        const size_t n = sequenceLength(text, i);
        if (n > 0) {
            out.append(text.data() + i, n);
            i += n;
            continue;
        }
        out.append("\xEF\xBF\xBD");
        // Skip the lead byte and the continuation bytes that belonged to it,
        // so that one broken character gives one replacement.
        ++i;
        while (i < text.size() && isContinuation(static_cast<unsigned char>(text[i])) &&
               sequenceLength(text, i) == 0)
            ++i;
    }
}

size_t utf8CutPosition(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    size_t cut = maxBytes;
    // Back off over continuation bytes to the lead byte of the character
    // that would be split (at most three of them in well-formed text).
    size_t steps = 0;
    while (cut > 0 && steps < 3 && isContinuation(static_cast<unsigned char>(text[cut]))) {
        --cut;
        ++steps;
    }
    if (isContinuation(static_cast<unsigned char>(text[cut])))
        return maxBytes;  // not UTF-8 here: a byte cut is as good as any
    return cut;
}

size_t copyUtf8Truncated(char* destination, size_t capacity, const char* source) {
    if (!destination || capacity == 0)
        return 0;
    if (!source) {
        destination[0] = '\0';
        return 0;
    }
    const std::string_view text(source, ::strnlen(source, capacity));
    const size_t length = utf8CutPosition(text, capacity - 1);
    std::memmove(destination, source, length);
    destination[length] = '\0';
    return length;
}

size_t utf8ByteOffset(std::string_view text, int characterIndex) {
    if (characterIndex <= 0)
        return 0;
    int seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isContinuation(static_cast<unsigned char>(text[i]))) {
            if (seen == characterIndex)
                return i;
            ++seen;
        }
    }
    return text.size();
}

int utf8CharacterCount(std::string_view text) {
    int count = 0;
    for (const char c : text)
        if (!isContinuation(static_cast<unsigned char>(c)))
            ++count;
    return count;
}

}  // namespace qv
