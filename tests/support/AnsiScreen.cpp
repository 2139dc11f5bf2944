#include "support/AnsiScreen.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace qv::test {

namespace {

// ANSI colour index (red 1, green 2, blue 4) to console bits (blue 1, green 2, red 4).
int consoleBits(int ansiIndex) { return ((ansiIndex & 1) << 2) | (ansiIndex & 2) | ((ansiIndex & 4) >> 2); }

}  // namespace

void AnsiScreen::update(const std::string& output) {
    if (output.size() <= m_consumed)
        return;
    interpret(std::string_view(output).substr(m_consumed));
    m_consumed = output.size();
}

std::string AnsiScreen::textAt(int column, int row, size_t length) const {
    const std::string line = m_screen.rowText(row);
    if (column < 0 || static_cast<size_t>(column) >= line.size())
        return {};
    return line.substr(static_cast<size_t>(column), length);
}

void AnsiScreen::interpret(std::string_view bytes) {
    std::string text;
    auto flush = [&] {
        if (!text.empty())
            m_screen.write(text);
        text.clear();
    };
    for (char c : bytes) {
        if (m_state == 0) {
            if (c == '\x1b') {
                flush();
                m_state = 1;
            } else if (c == '\r') {
                flush();
                m_screen.setCursor(0, m_screen.cursorRow());
            } else if (c == '\n') {
                flush();
                lineFeed();
            } else {
                text.push_back(c);
            }
        } else if (m_state == 1) {
            m_state = c == '[' ? 2 : 0;
            m_params.clear();
            if (c == '7') {
                m_savedColumn = m_screen.cursorColumn();
                m_savedRow = m_screen.cursorRow();
                m_savedAttribute = m_screen.attribute();
            } else if (c == '8') {
                m_screen.setCursor(m_savedColumn, m_savedRow);
                m_screen.setAttribute(m_savedAttribute);
            }
        } else if ((c >= '0' && c <= '9') || c == ';' || c == '?') {
            m_params.push_back(c);
        } else {
            applySequence(c, m_params);
            m_state = 0;
        }
    }
    flush();
}

void AnsiScreen::lineFeed() {
    const int row = m_screen.cursorRow();
    if (row != m_bottom) {
        m_screen.setCursor(0, std::min(row + 1, kConsoleRows - 1));
        return;
    }
    const int attribute = m_screen.attribute();
    for (int r = m_top; r <= m_bottom; ++r) {
        for (int column = 0; column < kConsoleColumns; ++column) {
            const ConsoleCell below = r < m_bottom ? m_screen.cell(column, r + 1) : ConsoleCell{' ', attribute};
            m_screen.setAttribute(below.attribute);
            m_screen.setCursor(column, r);
            m_screen.write(std::string_view(&below.ch, 1));
        }
    }
    m_screen.setAttribute(attribute);
    m_screen.setCursor(0, m_bottom);
}

void AnsiScreen::applySequence(char final, const std::string& params) {
    if (!params.empty() && params[0] == '?')
        return;  // cursor visibility and other modes
    std::vector<int> numbers;
    size_t pos = 0;
    while (!params.empty()) {
        const size_t end = params.find(';', pos);
        const std::string part = params.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        numbers.push_back(part.empty() ? 0 : std::atoi(part.c_str()));
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    if (final == 'r') {
        const int top = numbers.size() > 0 && numbers[0] > 0 ? numbers[0] - 1 : 0;
        const int bottom = numbers.size() > 1 && numbers[1] > 0 ? numbers[1] - 1 : kConsoleRows - 1;
        if (top < bottom && bottom < kConsoleRows) {
            m_top = top;
            m_bottom = bottom;
        } else {
            m_top = 0;
            m_bottom = kConsoleRows - 1;
        }
        m_screen.setCursor(0, 0);
    } else if (final == 'H') {
        const int row = numbers.size() > 0 && numbers[0] > 0 ? numbers[0] - 1 : 0;
        const int column = numbers.size() > 1 && numbers[1] > 0 ? numbers[1] - 1 : 0;
        m_screen.setCursor(column, row);
    } else if (final == 'J') {
        m_screen.clear();
    } else if (final == 'm') {
        int fg = 7, bg = 0;
        for (int v : numbers) {
            if (v >= 30 && v <= 37)
                fg = consoleBits(v - 30);
            else if (v >= 90 && v <= 97)
                fg = 8 | consoleBits(v - 90);
            else if (v >= 40 && v <= 47)
                bg = consoleBits(v - 40);
            else if (v >= 100 && v <= 107)
                bg = 8 | consoleBits(v - 100);
        }
        m_screen.setAttribute(fg | (bg << 4));
    }
}

}  // namespace qv::test
