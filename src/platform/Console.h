#pragma once
// The text console the dashboards and status lines are drawn on.
//
// A console is a grid of kConsoleColumns x kConsoleRows cells, each holding a
// character and a text attribute. Drawing positions the cursor absolutely,
// picks an attribute and writes text that overwrites cells from the cursor on.
// Attributes follow the classic 4-bit console palette: 7 grey, 10 bright
// green, 11 bright cyan, 12 bright red, 14 yellow, 15 white and 207 bright
// white on red (the gear-change flash).
//
// All drawing happens on the main thread. Implementations never block the
// caller: a console that cannot keep up drops output.

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr int kConsoleColumns = 120;
inline constexpr int kConsoleRows = 55;
// The dashboards draw rows 0 to 25 and the main thread's status lines reach
// row 27 (the exit text): on a terminal, rows from here down are the message
// area where lines printed meanwhile appear (Output.h).
inline constexpr int kConsoleMessageFirstRow = 28;

namespace ConsoleAttr {
inline constexpr int kNormal = 7;
inline constexpr int kGreen = 10;
inline constexpr int kCyan = 11;
inline constexpr int kRed = 12;
inline constexpr int kYellow = 14;
inline constexpr int kWhite = 15;
inline constexpr int kFlash = 207;
}  // namespace ConsoleAttr

struct ConsoleCell {
    char ch = ' ';
    int attribute = ConsoleAttr::kNormal;
};

// The cell grid every console keeps: what the screen shows.
class ConsoleScreen {
public:
    ConsoleScreen();

    void setAttribute(int attribute) { m_attribute = attribute; }
    int attribute() const { return m_attribute; }
    void setCursor(int column, int row);
    int cursorColumn() const { return m_column; }
    int cursorRow() const { return m_row; }

    // Writes text at the cursor in the current attribute. A line feed moves
    // to the start of the next row; text past the last column wraps.
    void write(std::string_view text);
    // Fills every cell with a blank in the current attribute, cursor to (0, 0).
    void clear();
    // Sets the attribute of every cell, keeping the characters.
    void fillAttribute(int attribute);

    const ConsoleCell& cell(int column, int row) const;
    // The characters of one row, trailing blanks included.
    std::string rowText(int row) const;

private:
    std::vector<ConsoleCell> m_cells;
    int m_attribute = ConsoleAttr::kNormal;
    int m_column = 0;
    int m_row = 0;
};

class IConsole {
public:
    virtual ~IConsole() = default;

    // True when positioned drawing reaches a screen (a terminal).
    virtual bool isAttached() const = 0;
    virtual void setColor(int attribute) = 0;
    virtual void setCursor(int column, int row) = 0;
    virtual void write(std::string_view text) = 0;
    virtual void clear() = 0;
    virtual void fillAttribute(int attribute) = 0;
    virtual void setCursorVisible(bool visible) = 0;
    // Drawing is over (the program ends): a terminal gets its whole screen
    // back for plain lines.
    virtual void releaseTerminal() {}
    // The cell model behind the console.
    virtual const ConsoleScreen& screen() const = 0;

    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vprint(const char* format, va_list args);
};

// A console that only records into its cell grid: used by tests to check the
// dashboards character by character, and as the console of a process whose
// standard output is not a terminal.
class RecordingConsole : public IConsole {
public:
    explicit RecordingConsole(bool attached = true) : m_attached(attached) {}

    bool isAttached() const override { return m_attached; }
    void setColor(int attribute) override { m_screen.setAttribute(attribute); }
    void setCursor(int column, int row) override { m_screen.setCursor(column, row); }
    void write(std::string_view text) override { m_screen.write(text); }
    void clear() override { m_screen.clear(); ++m_clearCount; }
    void fillAttribute(int attribute) override { m_screen.fillAttribute(attribute); ++m_fillCount; }
    void setCursorVisible(bool visible) override { m_cursorVisible = visible; }
    const ConsoleScreen& screen() const override { return m_screen; }

    int clearCount() const { return m_clearCount; }
    int fillCount() const { return m_fillCount; }
    bool cursorVisible() const { return m_cursorVisible; }

private:
    ConsoleScreen m_screen;
    bool m_attached;
    int m_clearCount = 0;
    int m_fillCount = 0;
    bool m_cursorVisible = true;
};

}  // namespace qv
