#include "ui/DialogHost.h"

#include "platform/Output.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"

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
    float scale = 1.0f;   // drawing scale when the dialog is larger than the work area
    // Where the window system draws no frame (a Wayland compositor without
    // decorations), the dialog has a caption of its own above its content:
    // its title and a close button; a press elsewhere on it moves the window.
    int caption = 0;  // its height, pixels (0: the window system frames the dialog)
    bool closeHover = false;
    bool closePressed = false;
};

constexpr int kCaptionHeight = 32, kCloseButtonWidth = 46;  // 96-dpi units

int captionPixels(int dpi) {
    if (windowSystemFramesDialogs())
        return 0;
    return static_cast<int>(std::lround(kCaptionHeight * std::clamp(dpi, 1, 4096) / 96.0));
}

int closeButtonPixels(const DialogRecord& d) {
    return static_cast<int>(std::lround(static_cast<double>(d.caption) * kCloseButtonWidth / kCaptionHeight));
}

bool onCloseButton(const DialogRecord& d, int x, int y) {
    int w = 0, h = 0;
    clientSize(d.window, &w, &h);
    return y >= 0 && y < d.caption && x >= w - closeButtonPixels(d) && x < w;
}

// A press on the caption but not on its close button moves the dialog.
bool onCaption(int x, int y, void* user) {
    const DialogRecord& d = *static_cast<const DialogRecord*>(user);
    return y >= 0 && y < d.caption && !onCloseButton(d, x, y);
}

// The caption in the dialogs' colours: the title at the left, the close
// button (a cross) at the right, lit while the pointer is over it.
void paintCaption(const DialogRecord& d, DrawContext& context) {
    if (!guiTextFormat(kFormatControl)) {
        createTextFormats();
        createBrushes(gSettings.snapshot().accentTheme);
    }
    const float w = context.width(), h = static_cast<float>(d.caption), u = h / kCaptionHeight;
    const RectF close{w - closeButtonPixels(d), 0, w, h};
    context.fillRect(RectF{0, 0, w, h}, guiBrush(kBrushSurface));
    context.drawLine(PointF{0, h - 0.5f}, PointF{w, h - 0.5f}, guiBrush(kBrushLine), 1);
    if (d.closeHover)
        context.fillRect(RectF{close.left, close.top, close.right, close.bottom - 1}, guiBrush(kBrushAccent));
    drawTextUtf8(&context, guiTextFormat(kFormatControl), d.spec.title, RectF{12 * u, 0, close.left - 6 * u, h},
                 guiBrush(kBrushText), TextAlignment::Leading, ParagraphAlignment::Center);
    const float cx = (close.left + close.right) / 2, cy = h / 2, arm = 5 * u;
    const Brush& cross = guiBrush(d.closeHover ? kBrushInk : kBrushText78);
    context.drawLine(PointF{cx - arm, cy - arm}, PointF{cx + arm, cy + arm}, cross, 1.2f * u);
    context.drawLine(PointF{cx - arm, cy + arm}, PointF{cx + arm, cy - arm}, cross, 1.2f * u);
}

std::vector<DialogRecord*>& dialogStack() {
    static std::vector<DialogRecord*> stack;
    return stack;
}

DialogCloseRecord gLastClose;

// The work area of the display the point lies on, else of the first display;
// empty when none is known.
WindowRect workAreaAt(int x, int y) {
    const std::vector<WindowRect> displays = displayBounds();
    for (const WindowRect& display : displays)
        if (x >= display.x && x < display.x + display.width && y >= display.y && y < display.y + display.height)
            return display;
    return displays.empty() ? WindowRect{} : displays.front();
}

// Keeps the window inside the work area. The position is the frame's outer
// corner, so the frame allowance goes below and right of the client; where no
// window manager draws a frame, the client lies inside all the same.
void keepInside(WindowRect* r, const WindowRect& area, int dpi) {
    if (area.width <= 0 || area.height <= 0)
        return;
    const int frameW = static_cast<int>(std::lround(kDialogFrameWidth * dpi / 96.0));
    const int frameH = static_cast<int>(std::lround(kDialogFrameHeight * dpi / 96.0));
    r->x = std::max(area.x, std::min(r->x, area.x + area.width - frameW - r->width));
    r->y = std::max(area.y, std::min(r->y, area.y + area.height - frameH - r->height));
}

void paintDialog(DialogRecord& d) {
    DrawContext* context = beginWindowPaint(d.window);
    if (!context)
        return;
    context->clear(kDialogBackground);
    if (d.caption > 0)
        paintCaption(d, *context);
    if (d.spec.onPaint) {
        // A dialog squeezed into the work area is laid out at its own size
        // and drawn smaller, below its caption where it draws one. The
        // painter may end the dialog (its window and context go with it), so
        // the shift and the scale are taken off only while the window is
        // there; the frame's end unwinds them in any case.
        const float k = d.scale;
        const bool scaled = k < 1.0f, shifted = d.caption > 0;
        if (shifted)
            context->pushTranslation(0, static_cast<float>(d.caption));
        if (scaled)
            context->pushScale(k);
        d.spec.onPaint(*context, context->width() / k, (context->height() - d.caption) / k, d.spec.userData);
        if (!d.closed && isWindow(d.window)) {
            if (scaled)
                context->popScale();
            if (shifted)
                context->popTranslation();
        }
    }
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
        // resized it already), within the work area; its content is laid out
        // again when painted.
        if (lParam != kDpiChangeSizeFollowed && wParam > 0 && wParam <= 4096) {
            const int dpi = static_cast<int>(wParam);
            const WindowRect r = windowRect(window);
            const WindowRect area = workAreaAt(r.x + r.width / 2, r.y + r.height / 2);
            const DialogFit fit = fitDialog(s.width, s.height, dpi, area);
            d.scale = fit.scale;
            if (d.caption > 0)
                d.caption = captionPixels(dpi);
            WindowRect next;
            next.width = fit.width;
            next.height = fit.height + d.caption;
            next.x = r.x + r.width / 2 - next.width / 2;
            next.y = r.y + r.height / 2 - next.height / 2;
            keepInside(&next, area, dpi);
            setWindowRect(window, next);
        } else if (lParam == kDpiChangeSizeFollowed) {
            if (d.caption > 0)
                d.caption = captionPixels(wParam > 0 && wParam <= 4096 ? static_cast<int>(wParam) : currentDpi());
            int w = 0, h = 0;
            clientSize(window, &w, &h);
            const int natural = std::max(1, dialogPixels(s.width));
            d.scale = std::clamp(static_cast<float>(w) / static_cast<float>(natural), 0.05f, 1.0f);
        }
        invalidateWindow(window);
        return 0;
    case kWmPaint:
        paintDialog(d);
        return 0;
    case kWmShowFailed:
        // Nobody can see or answer the dialog: it ends as cancelled, and the
        // parent is taken out of its wait (and enabled again by the caller).
        errPrint("  ERROR: the \"%s\" dialog could not be shown (%s); it was cancelled.\n", s.title,
                 lastWindowError().c_str());
        d.result = 0;
        destroyWindow(window);
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
            repaint = s.onKey(message, wParam, lParam, s.userData);
        break;
    case kWmTimer:
        if (s.onTimer)
            repaint = s.onTimer(static_cast<uint32_t>(wParam), wParam, lParam, s.userData);
        break;
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp:
    case kWmLButtonDblClk:
    case kWmRButtonDown: {
        const int px = pointParamX(lParam), py = pointParamY(lParam);
        if (d.caption > 0) {
            // The close button acts on a release over it, as a button does;
            // the caption's presses are not the content's.
            const bool over = onCloseButton(d, px, py);
            if (over != d.closeHover) {
                d.closeHover = over;
                invalidateWindow(window);
            }
            if (message == kWmLButtonUp && d.closePressed) {
                d.closePressed = false;
                if (over)
                    postWindowMessage(window, kWmClose, 0, 0);
                break;
            }
            if (message != kWmMouseMove && message != kWmLButtonUp && py < d.caption) {
                d.closePressed = message == kWmLButtonDown && over;
                break;
            }
        }
        if (s.onMouse)
            repaint = s.onMouse(message, static_cast<float>(px) / d.scale,
                                static_cast<float>(py - d.caption) / d.scale, wParam, s.userData);
        break;
    }
    case kWmMouseWheel:
        if (s.onMouse)
            s.onMouse(message, static_cast<float>(pointParamX(lParam)) / d.scale,
                      static_cast<float>(pointParamY(lParam) - d.caption) / d.scale, wParam, s.userData);
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

DialogFit fitDialog(int widthUnits, int heightUnits, int dpi, const WindowRect& workArea) {
    DialogFit fit;
    const double k = std::clamp(dpi, 1, 4096) / 96.0;
    const double w = std::max(1.0, std::floor(std::max(widthUnits, 0) * k + 0.5));
    const double h = std::max(1.0, std::floor(std::max(heightUnits, 0) * k + 0.5));
    double scale = 1.0;
    if (workArea.width > 0 && workArea.height > 0) {
        const double roomW = workArea.width - std::lround(kDialogFrameWidth * k);
        const double roomH = workArea.height - std::lround(kDialogFrameHeight * k);
        scale = std::clamp(std::min({1.0, roomW / w, roomH / h}), 0.05, 1.0);
    }
    // Rounded to the nearest pixel: the scaled side that meets the room is
    // the whole number of the room, and the other stays within its own.
    fit.width = std::max(1, static_cast<int>(std::lround(w * scale)));
    fit.height = std::max(1, static_cast<int>(std::lround(h * scale)));
    fit.scale = static_cast<float>(scale);
    return fit;
}

float currentDialogScale() {
    auto& stack = dialogStack();
    return stack.empty() ? 1.0f : stack.back()->scale;
}

int runModalDialog(const DialogSpec& spec) {
    DialogRecord d;
    d.spec = spec;
    if (!d.spec.title)
        d.spec.title = "Quor Vane";
    const bool topLevel = dialogStack().empty();

    WindowRect reference;
    if (spec.parent && isWindow(spec.parent)) {
        reference = windowRect(spec.parent);
    } else {
        const std::vector<WindowRect> displays = displayBounds();
        if (!displays.empty())
            reference = displays.front();
    }
    // The work area of the display the reference's centre lies on; a dialog
    // larger than it is drawn smaller, so its buttons stay on the screen.
    const WindowRect area = reference.width > 0 && reference.height > 0
                                ? workAreaAt(reference.x + reference.width / 2, reference.y + reference.height / 2)
                                : workAreaAt(0, 0);
    const DialogFit fit = fitDialog(spec.width, spec.height, currentDpi(), area);
    d.scale = fit.scale;
    d.caption = captionPixels(currentDpi());
    const int w = fit.width;
    const int h = fit.height + d.caption;
    WindowOptions options;
    options.kind = WindowKind::Dialog;
    options.title = d.spec.title;
    options.width = w;
    options.height = h;
    options.x = reference.width > 0 ? reference.x + reference.width / 2 - w / 2 : kWindowPositionCentered;
    options.y = reference.height > 0 ? reference.y + reference.height / 2 - h / 2 : kWindowPositionCentered;
    // Centred on a parent near a display's edge, the dialog would put its
    // buttons out of reach: keep it and its frame inside the work area.
    if (reference.width > 0 && reference.height > 0) {
        WindowRect placed{options.x, options.y, w, h};
        keepInside(&placed, area, currentDpi());
        options.x = placed.x;
        options.y = placed.y;
    }
    options.owner = spec.parent;
    options.visible = false;
    options.proc = dialogProc;
    options.user = &d;
    d.window = createWindow(options);
    if (!d.window)
        return -1;
    if (d.caption > 0)
        setWindowCaptionTest(d.window, onCaption, &d);

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
