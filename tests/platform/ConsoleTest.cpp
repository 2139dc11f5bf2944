#include "platform/AnsiConsole.h"
#include "platform/Console.h"
#include "platform/Output.h"
#include "support/AnsiScreen.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(ConsoleScreen, WritesAtTheCursorInTheCurrentAttributeAndClips) {
    ConsoleScreen s;
    s.setAttribute(11);
    s.setCursor(3, 5);
    s.write("abc");
    EXPECT_EQ(s.rowText(5).substr(0, 7), "   abc ");
    EXPECT_EQ(s.cell(3, 5).attribute, 11);
    EXPECT_EQ(s.cell(6, 5).attribute, 7);
    // Positions outside the grid are clamped, never written out of bounds.
    s.setCursor(500, 500);
    s.write("xyz");
    EXPECT_EQ(s.cell(kConsoleColumns - 1, kConsoleRows - 1).ch, 'x');
    EXPECT_EQ(s.cell(1, kConsoleRows - 1).ch, 'z');  // the last row wraps onto itself
    s.setCursor(-4, -4);
    EXPECT_EQ(s.cursorColumn(), 0);
    EXPECT_EQ(s.cursorRow(), 0);
    // Long text wraps onto the next row; a line feed starts a new row.
    s.setCursor(118, 10);
    s.write("1234\nZ");
    EXPECT_EQ(s.cell(118, 10).ch, '1');
    EXPECT_EQ(s.cell(0, 11).ch, '3');
    EXPECT_EQ(s.cell(0, 12).ch, 'Z');
}

TEST(ConsoleScreen, ClearAndFillAttribute) {
    ConsoleScreen s;
    s.setCursor(10, 10);
    s.write("keep");
    s.fillAttribute(207);
    EXPECT_EQ(s.cell(10, 10).ch, 'k');
    EXPECT_EQ(s.cell(0, 0).attribute, 207);
    EXPECT_EQ(s.cell(119, 54).attribute, 207);
    s.setAttribute(7);
    s.clear();
    EXPECT_EQ(s.cell(10, 10).ch, ' ');
    EXPECT_EQ(s.cell(10, 10).attribute, 7);
    EXPECT_EQ(s.cursorColumn(), 0);
    EXPECT_EQ(s.cursorRow(), 0);
}

TEST(RecordingConsole, PrintFormatsLongTextWhole) {
    RecordingConsole c;
    c.setCursor(0, 1);
    std::string longText(300, 'q');
    c.print("%s|%d", longText.c_str(), 42);
    EXPECT_EQ(c.screen().cell(119, 1).ch, 'q');
    EXPECT_EQ(c.screen().rowText(3).substr(60, 3), "|42");
}

TEST(AnsiConsole, AttributesMapToAnsiColours) {
    EXPECT_EQ(ansiForAttribute(7), "\x1b[0;37;40m");
    EXPECT_EQ(ansiForAttribute(10), "\x1b[0;92;40m");
    EXPECT_EQ(ansiForAttribute(11), "\x1b[0;96;40m");
    EXPECT_EQ(ansiForAttribute(12), "\x1b[0;91;40m");
    EXPECT_EQ(ansiForAttribute(14), "\x1b[0;93;40m");
    EXPECT_EQ(ansiForAttribute(15), "\x1b[0;97;40m");
    EXPECT_EQ(ansiForAttribute(207), "\x1b[0;97;101m");
}

TEST(AnsiConsole, DrawsOnlyWhenAttachedAndRepaintsTheFlash) {
    std::string out;
    OutputCapture capture([&](OutputStream, std::string_view text) { out.append(text); });
    AnsiConsole detached(false);
    detached.setColor(12);
    detached.setCursor(0, 4);
    detached.write("hello");
    detached.fillAttribute(207);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(detached.screen().cell(0, 4).ch, 'h');

    AnsiConsole attached(true);
    attached.setColor(12);
    attached.setCursor(2, 4);
    attached.write("hi");
    EXPECT_EQ(out, "\x1b[0;91;40m\x1b[5;3Hhi");
    out.clear();
    attached.fillAttribute(207);
    // Every row is repainted, in the flash colours, with the text kept.
    EXPECT_NE(out.find("\x1b[0;97;101m"), std::string::npos);
    EXPECT_NE(out.find("\x1b[55;1H"), std::string::npos);
    EXPECT_NE(out.find("  hi"), std::string::npos);
}

// Lines printed while the dashboard is drawn scroll in the message area
// below it: the dashboard's rows keep their text, and the drawing goes on
// where it was, in its own colour.
TEST(AnsiConsole, LinesPrintedDuringTheDashboardGoToTheMessageAreaBelowIt) {
    std::string out;
    OutputCapture capture([&](OutputStream, std::string_view text) { out.append(text); });
    AnsiConsole console(true);
    console.setColor(ConsoleAttr::kCyan);
    console.clear();
    for (int row = 0; row < kConsoleMessageFirstRow; ++row) {
        console.setCursor(0, row);
        console.print("row %02d of the dashboard", row);
    }
    console.setCursor(0, 25);
    console.setColor(ConsoleAttr::kYellow);
    console.write("  [ Susp Logger ]  SAVED");
    outPrint("  [AudioEngine] Synth ready: 256 samples @ 48000 Hz\n");
    outWrite("second line\n");
    console.write(" -> susp_log.csv");
    console.releaseTerminal();
    outWrite("after the dashboard\n");

    test::AnsiScreen screen;
    screen.update(out);
    for (int row = 0; row < 25; ++row)
        EXPECT_EQ(screen.textAt(0, row, 23), (row < 10 ? "row 0" : "row ") + std::to_string(row) + " of the dashboard");
    EXPECT_EQ(screen.textAt(0, 25, 40), "  [ Susp Logger ]  SAVED -> susp_log.csv");
    EXPECT_EQ(screen.attributeAt(30, 25), ConsoleAttr::kYellow);
    EXPECT_EQ(screen.textAt(0, kConsoleRows - 2, 51), "  [AudioEngine] Synth ready: 256 samples @ 48000 Hz");
    EXPECT_EQ(screen.textAt(0, kConsoleRows - 1, 11), "second line");
    // Once released, plain lines go where the cursor is again.
    EXPECT_EQ(out.substr(out.size() - 20), "after the dashboard\n");
}

}  // namespace
}  // namespace qv
