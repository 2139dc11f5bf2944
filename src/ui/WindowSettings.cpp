#include "ui/WindowSettings.h"

#include "platform/Files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

namespace qv {

namespace {

constexpr size_t kMaxWindowIniBytes = 16 * 1024;

std::string trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r'))
        --b;
    return std::string(s.substr(a, b - a));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string readText(const std::string& folder) {
    std::string text;
    if (folder.empty() || readRegularFile(folder + kWindowSettingsFileName, text, kMaxWindowIniBytes) != FileReadStatus::kOk)
        return {};
    return text;
}

bool writeText(const std::string& folder, const std::string& text, std::string* error) {
    if (folder.empty()) {
        if (error)
            *error = "window.ini: no settings folder";
        return false;
    }
    return writeFileAtomically(folder + kWindowSettingsFileName, text, error);
}

bool parseInt(std::string_view s, int& out) {
    s = std::string_view(s).substr(0);
    const std::string t = trim(s);
    if (t.empty())
        return false;
    const char* begin = t.data();
    if (*begin == '+')
        ++begin;
    const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), out);
    return ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

std::optional<std::string> windowIniKey(const std::string& text, const char* name) {
    std::istringstream in(text);
    std::string line;
    bool inWindow = false;
    while (std::getline(in, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        if (t.front() == '[') {
            inWindow = equalsIgnoringCase(t, "[Window]");
            continue;
        }
        const size_t eq = t.find('=');
        if (inWindow && eq != std::string::npos && equalsIgnoringCase(trim(t.substr(0, eq)), name))
            return trim(t.substr(eq + 1));
    }
    return std::nullopt;
}

std::string setWindowIniKey(const std::string& text, const char* name, const std::string& value) {
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
    }
    int section = -1, sectionEnd = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const std::string t = trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            if (section >= 0 && sectionEnd < 0)
                sectionEnd = i;
            if (equalsIgnoringCase(t, "[Window]") && section < 0)
                section = i;
            continue;
        }
        const size_t eq = t.find('=');
        if (section >= 0 && sectionEnd < 0 && eq != std::string::npos &&
            equalsIgnoringCase(trim(t.substr(0, eq)), name)) {
            lines[i] = std::string(name) + "=" + value;
            sectionEnd = -2;  // done
            break;
        }
    }
    if (sectionEnd != -2) {
        const std::string entry = std::string(name) + "=" + value;
        if (section < 0) {
            lines.push_back("[Window]");
            lines.push_back(entry);
        } else {
            int at = sectionEnd < 0 ? static_cast<int>(lines.size()) : sectionEnd;
            while (at > section + 1 && trim(lines[at - 1]).empty())
                --at;
            lines.insert(lines.begin() + at, entry);
        }
    }
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

bool readWindowSetting(const std::string& folder, const char* name, bool fallback) {
    const std::optional<std::string> value = windowIniKey(readText(folder), name);
    int number = 0;
    if (!value || !parseInt(*value, number))
        return fallback;
    return number != 0;
}

bool writeWindowSetting(const std::string& folder, const char* name, bool value, std::string* error) {
    return writeText(folder, setWindowIniKey(readText(folder), name, value ? "1" : "0"), error);
}

std::optional<WindowPlacement> readWindowPlacement(const std::string& folder) {
    const std::optional<std::string> value = windowIniKey(readText(folder), "Placement");
    if (!value)
        return std::nullopt;
    int numbers[5];
    std::string_view rest(*value);
    for (int i = 0; i < 5; ++i) {
        const size_t comma = rest.find(',');
        if ((i < 4) != (comma != std::string_view::npos))
            return std::nullopt;
        if (!parseInt(rest.substr(0, comma), numbers[i]))
            return std::nullopt;
        rest = i < 4 ? rest.substr(comma + 1) : std::string_view();
    }
    WindowPlacement p;
    p.show = numbers[0];
    p.normal = {numbers[1], numbers[2], numbers[3], numbers[4]};
    return p;
}

bool writeWindowPlacement(const std::string& folder, const WindowPlacement& placement, std::string* error) {
    const std::string value = std::to_string(placement.show) + "," + std::to_string(placement.normal.x) + "," +
                              std::to_string(placement.normal.y) + "," + std::to_string(placement.normal.width) +
                              "," + std::to_string(placement.normal.height);
    return writeText(folder, setWindowIniKey(readText(folder), "Placement", value), error);
}

WindowPlacement clampWindowPlacement(WindowPlacement p, const std::vector<WindowRect>& displays) {
    if (p.show != kShowMaximized)
        p.show = kShowNormal;
    WindowRect& r = p.normal;
    r.width = std::clamp(r.width, kMinWindowWidth, 16384);
    r.height = std::clamp(r.height, kMinWindowHeight, 16384);
    if (displays.empty())
        return p;
    const auto overlap = [&](const WindowRect& d) {
        const long long w = std::max(0LL, std::min<long long>(r.x + (long long)r.width, d.x + (long long)d.width) -
                                              std::max<long long>(r.x, d.x));
        const long long h = std::max(0LL, std::min<long long>(r.y + (long long)r.height, d.y + (long long)d.height) -
                                              std::max<long long>(r.y, d.y));
        return w * h;
    };
    const WindowRect* best = &displays.front();
    long long bestArea = -1;
    for (const WindowRect& d : displays) {
        const long long a = overlap(d);
        if (a > bestArea) {
            bestArea = a;
            best = &d;
        }
    }
    const WindowRect& d = *best;
    r.width = std::min(r.width, std::max(d.width, 1));
    r.height = std::min(r.height, std::max(d.height, 1));
    r.x = std::clamp(r.x, d.x, d.x + d.width - r.width);
    r.y = std::clamp(r.y, d.y, d.y + d.height - r.height);
    return p;
}

}  // namespace qv
