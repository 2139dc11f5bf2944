#include "platform/AnsiConsole.h"

#include "platform/Output.h"

#include <algorithm>
#include <string>

namespace qv {

namespace {

int ansiColourIndex(int consoleBits) {
    // Console order is blue, green, red; ANSI's is red, green, blue.
    return ((consoleBits & 1) << 2) | (consoleBits & 2) | ((consoleBits & 4) >> 2);
}

}  // namespace

std::string ansiForAttribute(int attribute) {
    const int fg = attribute & 0x0F;
    const int bg = (attribute >> 4) & 0x0F;
    const int fgCode = ((fg & 8) ? 90 : 30) + ansiColourIndex(fg & 7);
    const int bgCode = ((bg & 8) ? 100 : 40) + ansiColourIndex(bg & 7);
    return "\x1b[0;" + std::to_string(fgCode) + ";" + std::to_string(bgCode) + "m";
}

AnsiConsole::AnsiConsole(bool attached) : m_attached(attached) {}

void AnsiConsole::setColor(int attribute) {
    m_screen.setAttribute(attribute);
    if (m_attached)
        outWriteDrawing(ansiForAttribute(attribute));
}

void AnsiConsole::setCursor(int column, int row) {
    m_screen.setCursor(column, row);
    if (m_attached)
        outWriteDrawing("\x1b[" + std::to_string(m_screen.cursorRow() + 1) + ";" + std::to_string(m_screen.cursorColumn() + 1) + "H");
}

void AnsiConsole::write(std::string_view text) {
    m_screen.write(text);
    if (m_attached)
        outWriteDrawing(text);
}

void AnsiConsole::clear() {
    m_screen.clear();
    if (!m_attached)
        return;
    std::string text = ansiForAttribute(m_screen.attribute()) + "\x1b[2J";
    const int rows = terminalRowCount();
    const int last = (rows > 0 ? std::min(rows, kConsoleRows) : kConsoleRows) - 1;
    if (last > kConsoleMessageFirstRow) {
        // The scrolling region; setting it puts the cursor home.
        text += "\x1b[" + std::to_string(kConsoleMessageFirstRow + 1) + ";" + std::to_string(last + 1) + "r";
        m_messageArea = true;
        setTerminalMessageArea(kConsoleMessageFirstRow, last, true, standardErrorIsTerminal());
    }
    outWriteDrawing(text + "\x1b[H");
}

void AnsiConsole::releaseTerminal() {
    if (!m_messageArea)
        return;
    m_messageArea = false;
    setTerminalMessageArea(1, 0, false, false);
    // The whole screen scrolls again; the cursor stays where the drawing left it.
    outWriteDrawing("\x1b" "7\x1b[r\x1b" "8");
}

void AnsiConsole::fillAttribute(int attribute) {
    m_screen.fillAttribute(attribute);
    if (m_attached)
        repaint();
}

void AnsiConsole::setCursorVisible(bool visible) {
    if (m_attached)
        outWriteDrawing(visible ? "\x1b[?25h" : "\x1b[?25l");
}

void AnsiConsole::repaint() {
    std::string frame;
    frame.reserve(static_cast<size_t>(kConsoleColumns + 16) * kConsoleRows);
    int current = -1;
    // The message area is not part of the grid: its lines stay.
    const int rows = m_messageArea ? kConsoleMessageFirstRow : kConsoleRows;
    for (int row = 0; row < rows; ++row) {
        frame += "\x1b[" + std::to_string(row + 1) + ";1H";
        for (int column = 0; column < kConsoleColumns; ++column) {
            const ConsoleCell& c = m_screen.cell(column, row);
            if (c.attribute != current) {
                current = c.attribute;
                frame += ansiForAttribute(current);
            }
            frame.push_back(c.ch);
        }
    }
    frame += ansiForAttribute(m_screen.attribute());
    frame += "\x1b[" + std::to_string(m_screen.cursorRow() + 1) + ";" + std::to_string(m_screen.cursorColumn() + 1) + "H";
    outWriteDrawing(frame);
}

}  // namespace qv
