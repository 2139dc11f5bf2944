#include "ui/dialogs/OutsideText.h"

#include "platform/graphics/Utf8.h"
#include "settings/ProfileName.h"

#include <algorithm>

namespace qv {

namespace {

// Appends the code point as UTF-8.
void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes well-formed UTF-8 (the output of sanitizeUtf8) one code point at a time.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    ++i;
    while (extra-- > 0 && i < text.size())
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return c;
}

// The C0 and C1 controls, DEL, and the bidirectional formatting characters
// (a right-to-left override reverses the text drawn after it).
bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Text with every NUL kept out of sanitizeUtf8's way (it stops at the first).
std::string validUtf8(std::string_view raw) {
    std::string joined;
    joined.reserve(raw.size());
    for (char c : raw)
        joined += c == '\0' ? '\x01' : c;  // a control character, dropped or replaced later
    std::string out;
    sanitizeUtf8(joined, out);
    return out;
}

std::string trimBlanksAndDots(std::string text) {
    const size_t first = text.find_first_not_of(" .");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" .");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string cleanOutsideProfileName(std::string_view raw) {
    const std::string valid = validUtf8(raw);
    std::string cleaned;
    for (size_t i = 0; i < valid.size();) {
        const char32_t c = nextCodePoint(valid, i);
        appendUtf8(cleaned, (c == '/' || c == '\\' || isControl(c)) ? U'_' : c);
    }
    // Blanks and dots at the ends go too: "../x" became ".._x", and a
    // hidden or padded file name is not what the sender meant.
    cleaned = trimBlanksAndDots(std::move(cleaned));
    cleaned.resize(utf8CutPosition(cleaned, static_cast<size_t>(kMaxProfileNameBytes)));
    cleaned = trimBlanksAndDots(std::move(cleaned));
    return isValidProfileName(cleaned) ? cleaned : std::string();
}

namespace {

enum class LineBreaks { kBlanks, kKept };

std::string cleanText(std::string_view raw, size_t maxBytes, LineBreaks breaks) {
    const std::string valid = validUtf8(raw);
    std::string cleaned;
    cleaned.reserve(std::min(valid.size(), maxBytes));
    for (size_t i = 0; i < valid.size() && cleaned.size() < maxBytes + 4;) {
        const char32_t c = nextCodePoint(valid, i);
        if (c == '\n' && breaks == LineBreaks::kKept)
            cleaned += "\r\n";
        else if (c == '\r' && breaks == LineBreaks::kKept)
            continue;  // every break is written as CR LF from its LF; a lone CR goes
        else if (c == '\n' || c == '\r' || c == '\t')
            cleaned += ' ';
        else if (!isControl(c))
            appendUtf8(cleaned, c);
    }
    cleaned.resize(utf8CutPosition(cleaned, maxBytes));
    if (breaks == LineBreaks::kKept && !cleaned.empty() && cleaned.back() == '\r')
        cleaned.pop_back();  // a break cut in half
    return cleaned;
}

}  // namespace

std::string cleanServerText(std::string_view raw, size_t maxBytes) {
    return cleanText(raw, maxBytes, LineBreaks::kBlanks);
}

std::string cleanServerLines(std::string_view raw, size_t maxBytes) {
    return cleanText(raw, maxBytes, LineBreaks::kKept);
}

std::string cutAtWord(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return std::string(text);
    constexpr std::string_view kEllipsis = "...";
    const size_t room = maxBytes > kEllipsis.size() ? maxBytes - kEllipsis.size() : 0;
    size_t cut = utf8CutPosition(text, room);
    // Back to the end of the last whole word; a word longer than the line
    // is cut where it must be.
    if (text[cut] != ' ') {
        const size_t blank = text.rfind(' ', cut);
        if (blank != std::string_view::npos && blank > 0)
            cut = blank;
    }
    while (cut > 0 && (text[cut - 1] == ' ' || text[cut - 1] == ',' || text[cut - 1] == ';' || text[cut - 1] == ':'))
        --cut;
    return std::string(text.substr(0, cut)) + std::string(kEllipsis);
}

}  // namespace qv
