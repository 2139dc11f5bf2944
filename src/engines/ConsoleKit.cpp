#include "engines/ConsoleKit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

int levelColour(float level) {
    if (level > 0.7f)
        return ConsoleAttr::kRed;
    if (level > 0.35f)
        return ConsoleAttr::kYellow;
    return ConsoleAttr::kGreen;
}

std::string makeBar(float level, int width, char fill) {
    if (width < 1)
        return {};
    const float clamped = std::isnan(level) ? 0.0f : std::clamp(level, 0.0f, 1.0f);
    const int n = std::clamp(static_cast<int>(clamped * static_cast<float>(width)), 0, width);
    return std::string(static_cast<size_t>(n), fill) + std::string(static_cast<size_t>(width - n), '.');
}

std::string ratioBar(float value, float scale, int half) {
    half = std::max(half, 0);
    const int length = 2 * half + 1;
    std::string bar(static_cast<size_t>(length), '.');
    bar[static_cast<size_t>(half)] = '|';
    float ratio = value / scale;
    if (std::isnan(ratio))
        return bar;
    ratio = std::clamp(ratio, -1.0f, 1.0f);
    const int p = std::clamp(half + static_cast<int>(static_cast<float>(half) * ratio), 0, length - 1);
    if (p != half)
        bar[static_cast<size_t>(p)] = '#';
    return bar;
}

std::string gearText(int gear) {
    if (gear == -1)
        return " R";
    if (gear == 0)
        return " N";
    return std::to_string(gear);
}

std::string padded(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string fitted(std::string text, size_t width) {
    if (text.size() > width)
        text.resize(width);
    return text;
}

void drawText(IConsole& console, int column, int row, int attribute, std::string_view text) {
    console.setColor(attribute);
    console.setCursor(column, row);
    console.write(text);
}

}  // namespace qv
