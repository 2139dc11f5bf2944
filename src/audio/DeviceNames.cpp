#include "audio/DeviceNames.h"

namespace qv {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

// True when the "(" at the front closes only at the very end, so the whole
// name is one group: "(USB Audio)" but not "(A) and (B)".
bool isOneParenthesisedGroup(std::string_view name) {
    if (name.size() <= 2 || name.front() != '(' || name.back() != ')')
        return false;
    int depth = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '(')
            ++depth;
        else if (name[i] == ')' && --depth == 0)
            return i + 1 == name.size();
    }
    return false;
}

}  // namespace

std::string toLowerCopy(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string normaliseHardwareName(std::string_view name) {
    std::string_view n = name;
    for (std::string_view suffix : kHostApiSuffixes) {
        if (n.size() >= suffix.size() && n.substr(n.size() - suffix.size()) == suffix) {
            n.remove_suffix(suffix.size());
            break;
        }
    }
    for (std::string_view prefix : kRolePrefixes) {
        if (n.size() > prefix.size() && n.substr(0, prefix.size()) == prefix) {
            const std::string_view rest = n.substr(prefix.size());
            if (rest.find('(') != std::string_view::npos || rest.size() > 4) {
                n = rest;
                break;
            }
        }
    }
    n = trimmed(n);
    if (isOneParenthesisedGroup(n))
        n = n.substr(1, n.size() - 2);
    if (!trimmed(n).empty())
        return std::string(n);
    const std::string_view raw = trimmed(name);
    return std::string(raw.empty() ? kUnnamedDevice : raw);
}

bool isUnsuitableOutput(std::string_view name) {
    const std::string lower = toLowerCopy(name);
    for (std::string_view keyword : kUnsuitableKeywords) {
        if (lower.find(keyword) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace qv
