#include "ui/DialogHost.h"

#include "platform/graphics/Graphics.h"
#include "ui/AppMessages.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv {

namespace {

constexpr Color kDialogBackground = rgb(16, 18, 22);

// One running dialog. Lives on the stack of its runModalDialog call; the
// window procedure reaches it through the window's user pointer, so every
// window only ever touches its own record.
struct DialogRecord {
    DialogSpec spec;
    WindowHandle window = nullptr;
    int result = 0;
    bool closed = false;  // its window is gone
};

std::vector<DialogRecord*>& dialogStack() {
    static std::vector<DialogRecord*> stack;
    return stack;
}

DialogCloseRecord gLastClose;

void paintDialog(DialogRecord& d) {
    DrawContext* context = beginWindowPaint(d.window);
    if (!context)
        return;
    context->clear(kDialogBackground);
    if (d.spec.onPaint)
        d.spec.onPaint(*context, context->width(), context->height(), d.spec.userData);
    // A failed frame is dropped; the next paint tries again.
    endWindowPaint(d.window);
}

intptr_t dialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) {
    auto& d = *static_cast<DialogRecord*>(user);
    const DialogSpec& s = d.spec;
    bool repaint = false;
    switch (message) {
    case kWmDestroy:
        d.closed = true;
        return 0;
    case kWmSize:
        invalidateWindow(window);
        return 0;
    case kWmDisplayChanged:
        // A new desktop scale: the dialog keeps its size in the desktop's
        // units, around the same centre (where the window system has not
        // resized it already); its content is laid out again when painted.
        if (lParam != kDpiChangeSizeFollowed && wParam > 0) {
            const WindowRect r = windowRect(window);
            WindowRect next;
            next.width = std::max(1, static_cast<int>(std::lround(s.width * static_cast<double>(wParam) / 96.0)));
            next.height = std::max(1, static_cast<int>(std::lround(s.height * static_cast<double>(wParam) / 96.0)));
            next.x = r.x + r.width / 2 - next.width / 2;
            next.y = r.y + r.height / 2 - next.height / 2;
            setWindowRect(window, next);
        }
        invalidateWindow(window);
        return 0;
    case kWmPaint:
        paintDialog(d);
        return 0;
    case kWmClose:
        if (s.parent && isWindow(s.parent)) {
            enableWindow(s.parent, true);
            if (!isQuitPosted())
                bringWindowToFront(s.parent);
        }
        destroyWindow(window);
        return 1;
    case kWmKeyDown:
    case kWmChar:
        if (s.onKey)
            repaint = s.onKey(message, wParam, s.userData, lParam);
        break;
    case kWmTimer:
        if (s.onTimer)
            repaint = s.onTimer(static_cast<uint32_t>(wParam), s.userData, wParam, lParam);
        break;
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp:
    case kWmLButtonDblClk:
    case kWmRButtonDown:
        if (s.onMouse)
            repaint = s.onMouse(message, static_cast<float>(pointParamX(lParam)),
                                static_cast<float>(pointParamY(lParam)), wParam, s.userData);
        break;
    case kWmMouseWheel:
        if (s.onMouse)
            s.onMouse(message, static_cast<float>(pointParamX(lParam)), static_cast<float>(pointParamY(lParam)),
                      wParam, s.userData);
        repaint = true;
        break;
    default:
        if (message >= kWmApp && s.onMessage)
            repaint = s.onMessage(message, wParam, lParam, s.userData);
        break;
    }
    if (repaint && !d.closed)
        invalidateWindow(window);
    return 0;
}

}  // namespace

int dialogPixels(int units) {
    return static_cast<int>(std::floor(static_cast<double>(units) * currentDpi() / 96.0 + 0.5));
}

int runModalDialog(const DialogSpec& spec) {
    DialogRecord d;
    d.spec = spec;
    if (!d.spec.title)
        d.spec.title = "Quor Vane";
    const bool topLevel = dialogStack().empty();

    const int w = std::max(dialogPixels(spec.width), 1);
    const int h = std::max(dialogPixels(spec.height), 1);
    WindowRect reference;
    if (spec.parent && isWindow(spec.parent)) {
        reference = windowRect(spec.parent);
    } else {
        const std::vector<WindowRect> displays = displayBounds();
        if (!displays.empty())
            reference = displays.front();
    }
    WindowOptions options;
    options.kind = WindowKind::Dialog;
    options.title = d.spec.title;
    options.width = w;
    options.height = h;
    options.x = reference.width > 0 ? reference.x + reference.width / 2 - w / 2 : kWindowPositionCentered;
    options.y = reference.height > 0 ? reference.y + reference.height / 2 - h / 2 : kWindowPositionCentered;
    // Centred on a parent near a display's edge (or larger than the
    // display), the dialog would put its buttons out of reach: keep it on
    // the display the centre point lies on.
    if (reference.width > 0 && reference.height > 0) {
        const std::vector<WindowRect> displays = displayBounds();
        const int cx = reference.x + reference.width / 2;
        const int cy = reference.y + reference.height / 2;
        for (const WindowRect& display : displays) {
            if (cx < display.x || cx >= display.x + display.width || cy < display.y || cy >= display.y + display.height)
                continue;
            options.x = std::max(display.x, std::min(options.x, display.x + display.width - w));
            options.y = std::max(display.y, std::min(options.y, display.y + display.height - h));
            break;
        }
    }
    options.owner = spec.parent;
    options.visible = false;
    options.proc = dialogProc;
    options.user = &d;
    d.window = createWindow(options);
    if (!d.window)
        return -1;

    dialogStack().push_back(&d);
    if (spec.parent)
        enableWindow(spec.parent, false);
    showWindow(d.window, ShowCommand::Show);
    bringWindowToFront(d.window);
    updateWindow(d.window);

    if (!runMessageLoopUntil(d.closed)) {
        // The program quits: this dialog is the innermost one still open;
        // it goes first and the quit stays posted for the enclosing loops.
        destroyWindow(d.window);
    }
    if (spec.parent && isWindow(spec.parent)) {
        enableWindow(spec.parent, true);
        if (!isQuitPosted())
            bringWindowToFront(spec.parent);
    }
    auto& stack = dialogStack();
    for (size_t i = stack.size(); i-- > 0;) {
        if (stack[i] == &d) {
            stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    if (topLevel && spec.parent && !isQuitPosted())
        postWindowMessage(spec.parent, kMsgBringToFront, 0, 0);
    return d.result;
}

void closeDialog(int code) {
    gLastClose = {true, code};
    auto& stack = dialogStack();
    if (stack.empty())
        return;
    DialogRecord& d = *stack.back();
    d.result = code;
    if (!d.closed)
        postWindowMessage(d.window, kWmClose, 0, 0);
}

WindowHandle currentDialogWindow() {
    auto& stack = dialogStack();
    if (stack.empty() || stack.back()->closed)
        return nullptr;
    return stack.back()->window;
}

void repaintDialogNow() {
    if (WindowHandle window = currentDialogWindow()) {
        invalidateWindow(window);
        updateWindow(window);
    }
}

bool isDialogOpen() { return !dialogStack().empty(); }

int dialogDepth() { return static_cast<int>(dialogStack().size()); }

DialogCloseRecord lastDialogClose() { return gLastClose; }

void resetLastDialogClose() { gLastClose = {}; }

}  // namespace qv
