#pragma once
// The console of a process started in a terminal: keeps the cell grid and
// mirrors every change to the terminal as ANSI escape sequences through the
// never-blocking output queue. When standard output is not a terminal it
// draws nothing (the grid is still kept), so pipes and log files only get the
// plain log lines.

#include "platform/Console.h"

namespace qv {

class AnsiConsole : public IConsole {
public:
    // attached: whether drawing goes to the terminal; normally
    // standardOutputIsTerminal().
    explicit AnsiConsole(bool attached);

    bool isAttached() const override { return m_attached; }
    void setColor(int attribute) override;
    void setCursor(int column, int row) override;
    void write(std::string_view text) override;
    void clear() override;
    void fillAttribute(int attribute) override;
    void setCursorVisible(bool visible) override;
    // Clearing starts the dashboard: the rows from kConsoleMessageFirstRow to
    // the terminal's last (at most the console's) become the scrolling
    // message area for lines printed meanwhile; releaseTerminal ends it.
    void releaseTerminal() override;
    const ConsoleScreen& screen() const override { return m_screen; }

    // Re-binds to the terminal (the console was opened again).
    void reattach(bool attached) { m_attached = attached; }

private:
    void repaint();

    ConsoleScreen m_screen;
    bool m_attached;
    bool m_messageArea = false;
};

// The escape sequence that selects a console attribute (foreground in the low
// nibble, background in the high nibble; bit 0 blue, 1 green, 2 red, 3 bright).
std::string ansiForAttribute(int attribute);

}  // namespace qv
