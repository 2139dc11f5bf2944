// The console window: the cell grid's text and colours, and how the window
// follows the grid, hides on close and goes with the main window.

#include "platform/ConsoleMirror.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/AppMessages.h"
#include "ui/ConsoleWindow.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MainWindow.h"

#include <filesystem>

namespace qv {
namespace {

class ConsoleWindowTest : public test::WindowFixture {
protected:
    void TearDown() override {
        destroyConsoleWindow();
        setConsoleMirror(nullptr);
        WindowFixture::TearDown();
    }
    // The middle of a cell.
    static int cellX(int column) { return static_cast<int>((column + 0.5f) * consoleCellWidth()); }
    static int cellY(int row) { return static_cast<int>((row + 0.5f) * consoleCellHeight()); }
};

TEST_F(ConsoleWindowTest, DrawsTheGridsTextInItsColours) {
    ConsoleScreen screen;
    screen.setAttribute(ConsoleAttr::kFlash);  // bright white on bright red
    screen.setCursor(0, 0);
    screen.write("  GEAR  ");
    screen.setAttribute(ConsoleAttr::kGreen);
    screen.setCursor(0, 2);
    screen.write("MMMMMMMMMMMMMMMMMMMM Synth ready");
    screen.setAttribute(ConsoleAttr::kNormal);
    screen.setCursor(0, 54);
    screen.write("last row");
    std::vector<ConsoleCell> cells;
    for (int row = 0; row < kConsoleRows; ++row)
        for (int column = 0; column < kConsoleColumns; ++column)
            cells.push_back(screen.cell(column, row));

    const int width = static_cast<int>(std::ceil(consoleCellWidth() * kConsoleColumns));
    const int height = static_cast<int>(consoleCellHeight() * kConsoleRows);
    auto image = ImageTarget::create(width, height);
    ASSERT_TRUE(image);
    paintConsoleGrid(image->context(), cells);
    image->finish();
    // The flash's background fills its cells, blank ones too.
    EXPECT_TRUE(test::colorNear(image->pixel(cellX(0), cellY(0)), {255, 0, 0, 255}));
    EXPECT_TRUE(test::colorNear(image->pixel(cellX(7), cellY(0)), {255, 0, 0, 255}));
    // Beyond it the normal attribute: black.
    EXPECT_TRUE(test::colorNear(image->pixel(cellX(9), cellY(0)), {0, 0, 0, 255}));
    // White ink on the red cells of "GEAR".
    const int ch = static_cast<int>(consoleCellHeight());
    const auto inkOf = [&](int x0, int x1, int row, Rgba8 colour) {
        int n = 0;
        for (int y = row * ch; y < (row + 1) * ch; ++y)
            for (int x = x0; x < x1; ++x)
                n += test::colorNear(image->pixel(x, y), colour, 40) ? 1 : 0;
        return n;
    };
    EXPECT_GT(inkOf(cellX(2) - 3, cellX(5) + 3, 0, {255, 255, 255, 255}), 10);
    // Bright green letters on row 2, none in the blank row 1.
    EXPECT_GT(inkOf(0, cellX(20), 2, {0, 255, 0, 255}), 50);
    EXPECT_EQ(test::inkedPixels(*image, 0, ch, width, 2 * ch, {0, 0, 0, 255}), 0);
    // Grey text on the last row: the grid fits the window.
    EXPECT_GT(inkOf(0, cellX(8), 54, {192, 192, 192, 255}), 10);
    std::filesystem::create_directories(QV_RENDERS_DIR);
    EXPECT_TRUE(image->savePng(std::string(QV_RENDERS_DIR) + "/console_window.png"));
}

// Renders rows of text in the normal attribute into a console-sized image.
std::unique_ptr<ImageTarget> renderRows(const std::vector<std::pair<int, std::string>>& rows) {
    ConsoleScreen screen;
    screen.setAttribute(ConsoleAttr::kNormal);
    for (const auto& [row, text] : rows) {
        screen.setCursor(0, row);
        screen.write(text);
    }
    std::vector<ConsoleCell> cells;
    for (int row = 0; row < kConsoleRows; ++row)
        for (int column = 0; column < kConsoleColumns; ++column)
            cells.push_back(screen.cell(column, row));
    auto image = ImageTarget::create(static_cast<int>(std::ceil(consoleCellWidth() * kConsoleColumns)),
                                     static_cast<int>(consoleCellHeight() * kConsoleRows));
    if (image) {
        paintConsoleGrid(image->context(), cells);
        image->finish();
    }
    return image;
}

// A long line keeps its last character inside its own cell, and "->" is drawn
// as the two characters it is (no ligature): the same pixels as "-" and ">"
// drawn on their own.
TEST_F(ConsoleWindowTest, EachLineIsShownWholeAndArrowsStayTwoCharacters) {
    const std::string logger = "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)";
    const std::string full(kConsoleColumns - 1, 'M');
    auto image = renderRows({{4, logger}, {6, full + ")"}, {8, "->"}});
    ASSERT_TRUE(image);
    const int ch = static_cast<int>(consoleCellHeight());
    const float cw = consoleCellWidth();
    const auto inkInCell = [&](const ImageTarget& target, int column, int row) {
        return test::inkedPixels(target, static_cast<int>(column * cw) + 1, row * ch,
                                 static_cast<int>((column + 1) * cw) - 1, (row + 1) * ch, {0, 0, 0, 255});
    };
    const int last = static_cast<int>(logger.size()) - 1;
    EXPECT_GT(inkInCell(*image, last, 4), 3) << "the closing bracket";
    EXPECT_EQ(inkInCell(*image, last + 1, 4), 0) << "and nothing past it";
    EXPECT_GT(inkInCell(*image, kConsoleColumns - 1, 6), 3) << "the last column of a full line";
    EXPECT_GT(inkInCell(*image, kConsoleColumns - 2, 6), 3);

    auto minus = renderRows({{8, "- "}});
    auto greater = renderRows({{8, " >"}});
    ASSERT_TRUE(minus && greater);
    int differing = 0;
    for (int y = 8 * ch; y < 9 * ch; ++y) {
        for (int x = 0; x < static_cast<int>(3 * cw); ++x) {
            const Rgba8 a = image->pixel(x, y), b = minus->pixel(x, y), c = greater->pixel(x, y);
            const int apart = std::abs(int(a.g) - std::max(int(b.g), int(c.g)));
            differing += apart > 60 ? 1 : 0;
        }
    }
    EXPECT_LE(differing, 3);
    EXPECT_TRUE(image->savePng(std::string(QV_RENDERS_DIR) + "/console_window_lines.png"));
}

TEST_F(ConsoleWindowTest, FollowsTheMirrorAndHidesOnClose) {
    ConsoleMirror mirror(0);
    ConsoleScreen screen;
    mirror.publishIfDue(screen, 1);
    setConsoleMirror(&mirror);
    ASSERT_TRUE(showConsoleWindow(true));
    WindowHandle w = consoleWindow();
    ASSERT_NE(w, nullptr);
    int width = 0, height = 0;
    clientSize(w, &width, &height);
    EXPECT_EQ(width, static_cast<int>(std::ceil(consoleCellWidth() * kConsoleColumns)));
    EXPECT_EQ(windowTitle(w), "Console - Quor Vane");
    // The console window reads the newest copy within its refresh period.
    screen.write("new line");
    mirror.publishIfDue(screen, 2);
    EXPECT_TRUE(pumpUntil([&] { return consoleWindowShownVersion() == mirror.version(); }));
    pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
    ASSERT_TRUE(pumpUntil([&] { return !isConsoleWindowVisible(); }));
    EXPECT_TRUE(isWindow(w));  // hidden, not gone
    EXPECT_TRUE(toggleConsoleWindow());
    EXPECT_TRUE(isConsoleWindowVisible());
    EXPECT_EQ(consoleWindow(), w);
    toggleConsoleWindow();
    EXPECT_FALSE(isConsoleWindowVisible());
}

TEST_F(ConsoleWindowTest, MinimisingTheMainWindowHidesTheConsoleAndRestoringShowsIt) {
    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
    host.quitRequestedFlag = &quit;
    host.settingsFolder = dir.path();
    static std::function<void(WindowHandle)> script;
    static std::vector<bool> seen;
    seen.clear();
    script = [](WindowHandle main) {
        showConsoleWindow(true);
        seen.push_back(isConsoleWindowVisible());
        pushWindowEvent(main, SDL_WINDOWEVENT_MINIMIZED);
        pumpUntil([] { return !isConsoleWindowVisible(); });
        seen.push_back(isConsoleWindowVisible());
        pushWindowEvent(main, SDL_WINDOWEVENT_RESTORED);
        pumpUntil([] { return isConsoleWindowVisible(); });
        seen.push_back(isConsoleWindowVisible());
        // A console the user had closed stays closed after a restore.
        showConsoleWindow(false);
        pushWindowEvent(main, SDL_WINDOWEVENT_MINIMIZED);
        pushWindowEvent(main, SDL_WINDOWEVENT_RESTORED);
        pumpMessages(20);
        pumpMessages(20);
        seen.push_back(isConsoleWindowVisible());
        postWindowMessage(main, kMsgQuit, 0, 0);
    };
    dialogEntries().openDeviceWizard = [](WindowHandle w, GuiHost*) { script(w); };
    host.requestDeviceSetup();
    ASSERT_TRUE(runMainWindow(&host));
    dialogEntries() = DialogEntries{};
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(consoleWindow(), nullptr);  // gone with the main window
}

}  // namespace
}  // namespace qv
