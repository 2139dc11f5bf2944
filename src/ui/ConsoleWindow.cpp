#include "ui/ConsoleWindow.h"

#include "platform/graphics/Graphics.h"
#include "platform/graphics/TextFormat.h"

#include <cmath>
#include <memory>
#include <string>

namespace qv {

namespace {

struct ConsoleWindowState {
    const ConsoleMirror* mirror = nullptr;
    WindowHandle window = nullptr;
    std::vector<ConsoleCell> cells;
    uint64_t shownVersion = 0;
    std::unique_ptr<TextFormat> format;
    int formatDpi = 0;
    std::string line;  // scratch for one run of text
};

ConsoleWindowState gConsoleWindow;

const TextFormat* consoleFormat() {
    ConsoleWindowState& c = gConsoleWindow;
    if (!c.format || c.formatDpi != currentDpi()) {
        // "->" stays two characters, and a line of n cells is n cells wide.
        c.format = createGridTextFormat("JetBrains Mono", kConsoleFontSize * dpiScale(), 400);
        c.formatDpi = currentDpi();
    }
    return c.format.get();
}

void refreshCells() {
    ConsoleWindowState& c = gConsoleWindow;
    if (c.mirror)
        c.shownVersion = c.mirror->read(c.cells);
    else
        c.cells.assign(static_cast<size_t>(kConsoleColumns) * kConsoleRows, ConsoleCell{});
}

intptr_t consoleProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t, void*) {
    ConsoleWindowState& c = gConsoleWindow;
    switch (message) {
    case kWmClose:
        // Closing the console hides it; the program runs on.
        showWindow(window, ShowCommand::Hide);
        return 1;
    case kWmDestroy:
        c.window = nullptr;
        c.format.reset();
        return 0;
    case kWmTimer:
        if (wParam == kTimerConsoleRefresh && c.mirror && c.mirror->version() != c.shownVersion)
            invalidateWindow(window);
        return 0;
    case kWmPaint:
        if (DrawContext* context = beginWindowPaint(window)) {
            refreshCells();
            paintConsoleGrid(*context, c.cells);
            endWindowPaint(window);
        }
        return 0;
    default:
        return 0;
    }
}

}  // namespace

Color consoleColor(int index) {
    static const Color kPalette[16] = {
        rgb(0, 0, 0),       rgb(0, 0, 128),   rgb(0, 128, 0),   rgb(0, 128, 128),
        rgb(128, 0, 0),     rgb(128, 0, 128), rgb(128, 128, 0), rgb(192, 192, 192),
        rgb(128, 128, 128), rgb(0, 0, 255),   rgb(0, 255, 0),   rgb(0, 255, 255),
        rgb(255, 0, 0),     rgb(255, 0, 255), rgb(255, 255, 0), rgb(255, 255, 255),
    };
    return index >= 0 && index < 16 ? kPalette[index] : kPalette[0];
}

// "JetBrains Mono" advances every glyph by 0.6 of its size.
float consoleCellWidth() { return kConsoleFontSize * 0.6f * dpiScale(); }
float consoleCellHeight() { return std::round(kConsoleFontSize * 1.35f * dpiScale()); }

void paintConsoleGrid(DrawContext& context, const std::vector<ConsoleCell>& cells) {
    context.clear(consoleColor(0));
    if (cells.size() < static_cast<size_t>(kConsoleColumns) * kConsoleRows)
        return;
    const TextFormat* format = consoleFormat();
    const float cw = consoleCellWidth(), ch = consoleCellHeight();
    std::string& run = gConsoleWindow.line;
    for (int row = 0; row < kConsoleRows; ++row) {
        const ConsoleCell* line = &cells[static_cast<size_t>(row) * kConsoleColumns];
        int start = 0;
        while (start < kConsoleColumns) {
            // One run of cells with the same attribute.
            const int attribute = line[start].attribute;
            int end = start + 1;
            while (end < kConsoleColumns && line[end].attribute == attribute)
                ++end;
            const RectF rect{start * cw, row * ch, end * cw, (row + 1) * ch};
            const int background = (attribute >> 4) & 0x0F;
            if (background != 0)
                context.fillRect(rect, solidBrush(consoleColor(background)));
            run.clear();
            bool blank = true;
            for (int i = start; i < end; ++i) {
                const unsigned char ch8 = static_cast<unsigned char>(line[i].ch);
                // The grid holds bytes; anything but printable ASCII shows as a blank.
                const char shown = ch8 >= 0x20 && ch8 < 0x7F ? static_cast<char>(ch8) : ' ';
                blank = blank && shown == ' ';
                run.push_back(shown);
            }
            if (!blank && format)
                context.drawText(format, run, RectF{rect.left, rect.top, rect.right + cw, rect.bottom},
                                 solidBrush(consoleColor(attribute & 0x0F)), TextAlignment::Leading,
                                 ParagraphAlignment::Center, TextWrap::SingleLine);
            start = end;
        }
    }
}

void setConsoleMirror(const ConsoleMirror* mirror) { gConsoleWindow.mirror = mirror; }

bool showConsoleWindow(bool visible) {
    ConsoleWindowState& c = gConsoleWindow;
    if (!visible) {
        if (c.window)
            showWindow(c.window, ShowCommand::Hide);
        return true;
    }
    if (!c.window) {
        WindowOptions options;
        options.kind = WindowKind::Dialog;
        options.title = "Console - Quor Vane";
        options.width = static_cast<int>(std::ceil(consoleCellWidth() * kConsoleColumns));
        options.height = static_cast<int>(consoleCellHeight() * kConsoleRows);
        options.visible = false;
        options.proc = consoleProc;
        c.window = createWindow(options);
        if (!c.window)
            return false;
        setWindowTimer(c.window, kTimerConsoleRefresh, kConsoleRefreshMs);
    }
    showWindow(c.window, ShowCommand::Show);
    // Opened from the main window: it comes up in front of it, with the focus.
    bringWindowToFront(c.window);
    invalidateWindow(c.window);
    return true;
}

bool isConsoleWindowVisible() { return gConsoleWindow.window && isWindowVisible(gConsoleWindow.window); }

bool toggleConsoleWindow() { return showConsoleWindow(!isConsoleWindowVisible()); }

WindowHandle consoleWindow() { return gConsoleWindow.window; }

uint64_t consoleWindowShownVersion() { return gConsoleWindow.shownVersion; }

void destroyConsoleWindow() {
    if (gConsoleWindow.window)
        destroyWindow(gConsoleWindow.window);
    gConsoleWindow.window = nullptr;
    gConsoleWindow.format.reset();
}

}  // namespace qv
