#include "settings/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace qv {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips leading blanks and an optional sign; true for a minus.
size_t skipBlanksAndSign(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

bool parseLeadingInt(std::string_view text, int32_t& out) {
    bool negative = false;
    size_t i = skipBlanksAndSign(text, negative);
    if (i >= text.size() || !isDigit(text[i]))
        return false;
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            return false;
    }
    out = static_cast<int32_t>(negative ? -value : value);
    return true;
}

bool parseLeadingDouble(std::string_view text, double& out) {
    bool negative = false;
    const size_t i = skipBlanksAndSign(text, negative);
    // A number starts with a digit or a dot and a digit; this also keeps
    // "inf", "nan" and a second sign out.
    if (i >= text.size())
        return false;
    if (!isDigit(text[i]) && !(text[i] == '.' && i + 1 < text.size() && isDigit(text[i + 1])))
        return false;
    double value = 0.0;
    const auto [end, code] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                             std::chars_format::general);
    (void)end;
    if (code != std::errc() || !std::isfinite(value))
        return false;
    out = negative ? -value : value;
    return true;
}

bool parseLeadingFloat(std::string_view text, float& out) {
    double value = 0.0;
    if (!parseLeadingDouble(text, value))
        return false;
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return false;
    out = static_cast<float>(value);
    return true;
}

std::string formatShortNumber(double value) {
    char buffer[64];
    const auto [end, code] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    if (code != std::errc())
        return "0";
    return std::string(buffer, end);
}

int32_t clampToInt(double value, int32_t low, int32_t high) {
    if (std::isnan(value))
        return low;
    const double clamped = std::clamp(value, static_cast<double>(low), static_cast<double>(high));
    return static_cast<int32_t>(clamped);
}

}  // namespace qv
