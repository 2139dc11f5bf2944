#include "platform/Console.h"

#include "platform/TextFormat.h"

#include <algorithm>
#include <cstdio>

namespace qv {

ConsoleScreen::ConsoleScreen() : m_cells(static_cast<size_t>(kConsoleColumns) * kConsoleRows) {}

void ConsoleScreen::setCursor(int column, int row) {
    m_column = std::clamp(column, 0, kConsoleColumns - 1);
    m_row = std::clamp(row, 0, kConsoleRows - 1);
}

void ConsoleScreen::write(std::string_view text) {
    for (char c : text) {
        if (c == '\n') {
            m_column = 0;
            m_row = std::min(m_row + 1, kConsoleRows - 1);
            continue;
        }
        if (c == '\r') {
            m_column = 0;
            continue;
        }
        ConsoleCell& target = m_cells[static_cast<size_t>(m_row) * kConsoleColumns + m_column];
        target.ch = c;
        target.attribute = m_attribute;
        if (++m_column >= kConsoleColumns) {
            m_column = 0;
            m_row = std::min(m_row + 1, kConsoleRows - 1);
        }
    }
}

void ConsoleScreen::clear() {
    for (ConsoleCell& c : m_cells) {
        c.ch = ' ';
        c.attribute = m_attribute;
    }
    m_column = 0;
    m_row = 0;
}

void ConsoleScreen::fillAttribute(int attribute) {
    for (ConsoleCell& c : m_cells)
        c.attribute = attribute;
    m_attribute = attribute;
}

const ConsoleCell& ConsoleScreen::cell(int column, int row) const {
    column = std::clamp(column, 0, kConsoleColumns - 1);
    row = std::clamp(row, 0, kConsoleRows - 1);
    return m_cells[static_cast<size_t>(row) * kConsoleColumns + column];
}

std::string ConsoleScreen::rowText(int row) const {
    std::string text;
    text.reserve(kConsoleColumns);
    for (int c = 0; c < kConsoleColumns; ++c)
        text.push_back(cell(c, row).ch);
    return text;
}

void IConsole::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
}

void IConsole::vprint(const char* format, va_list args) {
    const FormattedText text(format, args);
    write(text.view());
}

}  // namespace qv
