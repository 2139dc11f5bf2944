#include "settings/ProfileName.h"

#include <cstdint>

namespace qv {

namespace {

// Decodes one UTF-8 sequence at text[i]; false for a malformed one.
bool decodeUtf8(std::string_view text, size_t& i, uint32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    int length;
    uint32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return false;
    }
    if (i + static_cast<size_t>(length) > text.size())
        return false;
    for (int k = 1; k < length; ++k) {
        const uint8_t next = byte(i + static_cast<size_t>(k));
        if ((next & 0xC0) != 0x80)
            return false;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return false;
    i += static_cast<size_t>(length);
    return true;
}

bool isControl(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

bool setWhy(std::string* why, const char* text) {
    if (why)
        *why = text;
    return false;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    uint32_t codePoint = 0;
    while (i < text.size()) {
        if (!decodeUtf8(text, i, codePoint))
            return false;
    }
    return true;
}

bool isValidProfileName(std::string_view name, std::string* why) {
    if (name.empty())
        return setWhy(why, "the profile name is empty");
    if (name.size() > static_cast<size_t>(kMaxProfileNameBytes))
        return setWhy(why, "the profile name is longer than 63 bytes");
    if (name == "." || name == "..")
        return setWhy(why, "the profile name cannot be \".\" or \"..\"");
    size_t i = 0;
    uint32_t codePoint = 0;
    while (i < name.size()) {
        if (!decodeUtf8(name, i, codePoint))
            return setWhy(why, "the profile name is not valid UTF-8 text");
        if (codePoint == '/' || codePoint == '\\')
            return setWhy(why, "the profile name contains \"/\" or \"\\\"");
        if (isControl(codePoint))
            return setWhy(why, "the profile name contains a control character");
    }
    return true;
}

}  // namespace qv
