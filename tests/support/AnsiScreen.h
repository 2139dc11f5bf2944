#pragma once
// The screen a terminal shows for a program's output: rebuilt from the
// cursor, colour and clear sequences that the program's console sends (see
// platform/AnsiConsole), so end-to-end tests can check a dashboard by
// position and colour. Fed with the output of a PtyProcess as it grows.

#include "platform/Console.h"

#include <string>
#include <string_view>

namespace qv::test {

class AnsiScreen {
public:
    // Interprets what `output` holds beyond what earlier calls saw (output
    // only grows, as PtyProcess::output() does).
    void update(const std::string& output);

    const ConsoleScreen& screen() const { return m_screen; }
    // The characters of a screen row from `column`, `length` long.
    std::string textAt(int column, int row, size_t length) const;
    int attributeAt(int column, int row) const { return m_screen.cell(column, row).attribute; }

private:
    void interpret(std::string_view bytes);
    void applySequence(char final, const std::string& params);
    // A line feed: the next row, or the scrolling region moves up by one at
    // its last row.
    void lineFeed();

    ConsoleScreen m_screen;
    size_t m_consumed = 0;
    // The scrolling region (rows, 0-based) and the cursor saved by ESC 7.
    int m_top = 0, m_bottom = kConsoleRows - 1;
    int m_savedColumn = 0, m_savedRow = 0, m_savedAttribute = ConsoleAttr::kNormal;
    // Parser state: 0 text, 1 after ESC, 2 inside a control sequence.
    int m_state = 0;
    std::string m_params;
};

}  // namespace qv::test
