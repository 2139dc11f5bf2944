// Input: SDL's events translated into the layer's messages (window events,
// mouse buttons, motion and wheel, keys as virtual keys, typed text as
// characters), double clicks told by the layer itself, the mouse capture,
// the modifier state, the keyboard focus kept on a dialog over a disabled
// window, and the main window's resize hit-testing.

#include "platform/WindowInternal.h"

#include "platform/graphics/WindowTarget.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qv {

using namespace window_detail;

namespace {

constexpr int kResizeBorder = 5;

WindowState* findBySdlId(uint32_t id) {
    for (auto& w : loop().windows)
        if (w->sdlId == id && !w->destroying)
            return w.get();
    return nullptr;
}
// ---- SDL event translation -------------------------------------------------

int virtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return kVkF1 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return 0x61 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kVkControl;
    case SDLK_LALT:
    case SDLK_RALT: return kVkMenu;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_PAGEUP: return kVkPrior;
    case SDLK_PAGEDOWN: return kVkNext;
    case SDLK_END: return kVkEnd;
    case SDLK_HOME: return kVkHome;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return kVkDelete;
    case SDLK_KP_0: return 0x60;
    default: return 0;
    }
}

uintptr_t mouseFlags(uint32_t buttons) {
    uintptr_t flags = 0;
    if (buttons & SDL_BUTTON_LMASK)
        flags |= kMkLButton;
    if (buttons & SDL_BUTTON_RMASK)
        flags |= kMkRButton;
    if (loop().shiftDown)
        flags |= kMkShift;
    if (loop().controlDown)
        flags |= kMkControl;
    return flags;
}
// The window that gets a mouse event of `w` and the point in its client
// pixels: the capture window while one holds the capture.
WindowState* mouseTarget(WindowState* w, int* x, int* y) {
    if (w) {
        *x = toPixels(w, *x);
        *y = toPixels(w, *y);
    }
    WindowState* capture = findWindow(loop().capture);
    if (capture && capture != w) {
        if (w && loop().wayland) {
            // Wayland tells no window where another is: the event lies
            // outside the capture window.
            *x = *y = -1;
        } else if (w) {
            int wx = 0, wy = 0, cx = 0, cy = 0;
            windowPosition(w, &wx, &wy);
            windowPosition(capture, &cx, &cy);
            *x += wx - cx;
            *y += wy - cy;
        }
        return capture;
    }
    return w;
}

// The dialog that takes the input of the windows below it: the newest one
// shown and enabled.
WindowState* topDialog() {
    auto& list = loop().windows;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        WindowState* w = it->get();
        if (w->kind == WindowKind::Dialog && w->enabled && !w->destroying && isWindowVisible(w->handle))
            return w;
    }
    return nullptr;
}

// A disabled window (the parent of a running dialog) that the user clicked
// or the window manager focused: the dialog comes to the front again with
// the keyboard, so its keys (Escape, Return) still reach it.
void keepFocusOnDialog(WindowState* disabled) {
    if (disabled->enabled)
        return;
    if (WindowState* dialog = topDialog(); dialog && dialog != disabled)
        takeKeyboardFocus(dialog);
}

// A window of ours that takes no input holds the keyboard focus.
bool disabledWindowHasFocus() {
    for (auto& w : loop().windows)
        if (w->focused && !w->enabled && !w->destroying)
            return true;
    return false;
}

// UTF-8 of typed text (untrusted: it comes from the window system) to code
// points, one per call; an ill-formed sequence (a stray continuation byte, a
// lead byte that starts none, a sequence cut short, an overlong form, a
// surrogate or a value above U+10FFFF) is one U+FFFD and decoding goes on
// after its longest valid prefix.
uint32_t nextCodePoint(const unsigned char* s, size_t n, size_t* i) {
    constexpr uint32_t kReplacement = 0xFFFD;
    const unsigned char lead = s[*i];
    ++*i;
    if (lead < 0x80)
        return lead;
    int extra = 0;
    uint32_t cp = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // overlong below
        if (lead == 0xED)
            high = 0x9F;  // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;  // overlong below
        if (lead == 0xF4)
            high = 0x8F;  // above U+10FFFF
    } else {
        return kReplacement;  // 0x80-0xC1 (continuation, overlong lead), 0xF5-0xFF
    }
    for (int k = 0; k < extra; ++k) {
        if (*i >= n)
            return kReplacement;
        const unsigned char c = s[*i];
        if (c < (k == 0 ? low : 0x80) || c > (k == 0 ? high : 0xBF))
            return kReplacement;  // this byte starts the next sequence
        cp = (cp << 6) | (c & 0x3F);
        ++*i;
    }
    return cp;
}

void sendSize(WindowState* w, uintptr_t kind) {
    checkPixelRatio(w);
    if (!findWindow(w->handle))
        return;
    int width = 0, height = 0;
    SDL_GetWindowSizeInPixels(w->sdl, &width, &height);
    if (kind != kSizeMinimized && w->target && width > 0 && height > 0 &&
        (windowTargetWidth(w->target) != width || windowTargetHeight(w->target) != height))
        resizeWindowTarget(w->target, width, height);
    sendWindowMessage(w, kWmSize, kind, makePointParam(width, height));
    w->invalid = w->wholeInvalid = true;
}

// ---- double clicks ---------------------------------------------------------
//
// The layer tells double clicks itself rather than by SDL's click count:
// SDL counts every press of a series within its time and radius, a drag's
// press among them, so a double click right after a drag (or after the
// pointer went out and came back) would be numbered wrongly.

// How far, in pixels on either axis, the second press may be from the first.
constexpr int kDoubleClickRadius = 4;
constexpr uint32_t kDefaultDoubleClickMs = 500;

// SDL's hint, which the desktop's own time or the environment sets.
uint32_t doubleClickMs() {
    const char* hint = SDL_GetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME);
    if (!hint || !*hint)
        return kDefaultDoubleClickMs;
    char* end = nullptr;
    const long ms = std::strtol(hint, &end, 10);
    if (end == hint || ms < 0)
        return kDefaultDoubleClickMs;
    return static_cast<uint32_t>(std::min(ms, 10'000L));
}

bool isNear(const LoopState::FirstClick& first, int x, int y) {
    return std::abs(x - first.x) <= kDoubleClickRadius && std::abs(y - first.y) <= kDoubleClickRadius;
}

bool isNearFirstClick(int x, int y) { return isNear(loop().firstClick, x, y); }

void forgetFirstClick() { loop().firstClick.window = nullptr; }

// A left press: true when it completes a double click. Otherwise it may be
// the first press of one.
bool takeLeftPress(WindowState* w, uint32_t timeMs, int x, int y) {
    auto& first = loop().firstClick;
    // The second press on a caption the compositor moves the window by: the
    // hit test let it through as a double click's (the pointer's leave and
    // enter around the compositor's move, queued before it, have ended the
    // series here meanwhile).
    auto& caption = loop().captionPress;
    const bool captionDouble = w->captionDoubleMs != 0 && timeMs - w->captionDoubleMs <= doubleClickMs() &&
                               caption.window == w->handle && isNear(caption, x, y);
    w->captionDoubleMs = 0;
    if (captionDouble)
        caption.window = nullptr;  // a third press moves the window again
    const bool isDouble = captionDouble || (first.window == w->handle && timeMs - first.timeMs <= doubleClickMs() &&
                                            isNearFirstClick(x, y));
    if (isDouble) {
        first.window = nullptr;  // a third press starts a new series
    } else {
        first.window = w->handle;
        first.timeMs = timeMs;
        first.x = x;
        first.y = y;
    }
    return isDouble;
}

// Pointer motion: a press held and moved past the radius is a drag, whose
// press starts no double click.
void noteMotion(WindowState* target, int x, int y) {
    const auto& first = loop().firstClick;
    WindowState* pressed = findWindow(first.window);
    if (!pressed || !pressed->leftDown)
        return;
    if (target != pressed || !isNearFirstClick(x, y))
        forgetFirstClick();
}

void handleWindowEvent(const SDL_WindowEvent& e) {
    WindowState* w = findBySdlId(e.windowID);
    if (!w)
        return;
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        if (!w->enabled)
            return;  // a dialog runs above it
        if (sendWindowMessage(w, kWmClose, 0, 0) == 0)
            destroyWindow(w->handle);
        return;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        sendSize(w, isWindowMaximized(w->handle) ? kSizeMaximized : kSizeRestored);
        return;
    case SDL_WINDOWEVENT_MINIMIZED:
        // Gone from under the pointer: the next press starts a new series.
        forgetFirstClick();
        endLostHold(w);
        sendWindowMessage(w, kWmSize, kSizeMinimized, 0);
        return;
    case SDL_WINDOWEVENT_HIDDEN:
        forgetFirstClick();
        return;
    case SDL_WINDOWEVENT_MAXIMIZED:
        sendSize(w, kSizeMaximized);
        return;
    case SDL_WINDOWEVENT_RESTORED:
        sendSize(w, kSizeRestored);
        return;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        w->focused = true;
        keepFocusOnDialog(w);
        sendWindowMessage(w, kWmActivate, 1, 0);
        return;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        forgetFirstClick();
        w->focused = false;
        endLostHold(w);
        sendWindowMessage(w, kWmActivate, 0, 0);
        return;
    case SDL_WINDOWEVENT_SHOWN:
        // A dialog opened over one of our windows that takes no input: a
        // window manager may leave the focus where it was (its focus
        // stealing prevention), and the keys would go to no window.
        if (w->kind == WindowKind::Dialog && w->enabled && disabledWindowHasFocus())
            takeKeyboardFocus(w);
        w->invalid = w->wholeInvalid = true;
        return;
    case SDL_WINDOWEVENT_EXPOSED:
        w->invalid = w->wholeInvalid = true;
        return;
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
        checkPixelRatio(w);
        return;
    case SDL_WINDOWEVENT_ENTER:
    case SDL_WINDOWEVENT_LEAVE:
        // The pointer went out and came back: the next press starts anew.
        forgetFirstClick();
        return;
    default:
        return;
    }
}

void handleMouseButton(const SDL_MouseButtonEvent& e) {
    int x = e.x, y = e.y;
    WindowState* source = findBySdlId(e.windowID);
    WindowState* w = mouseTarget(source, &x, &y);
    if (!w)
        return;
    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
    const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    if (e.button == SDL_BUTTON_LEFT && !down && loop().ownReleasePending) {
        // The release the layer gave SDL. Where the hold was ended already
        // it is not passed on a second time.
        loop().ownReleasePending = false;
        if (!w->leftDown)
            return;
    }
    if (down && e.button == SDL_BUTTON_LEFT)
        loop().ownReleasePending = false;  // SDL took a press: its count is right again
    if (down && !w->enabled)
        keepFocusOnDialog(w);
    if (e.button == SDL_BUTTON_LEFT) {
        if (!down) {
            // The release of a hold always arrives, even when the window was
            // disabled meanwhile.
            if (!w->leftDown && !w->enabled)
                return;
            w->leftDown = false;
            sendWindowMessage(w, kWmLButtonUp, mouseFlags(buttons), makePointParam(x, y));
            return;
        }
        if (!w->enabled)
            return;
        w->leftDown = true;
        // Decided before the message goes out: its handler may run a nested
        // loop (a dialog) that sees further presses.
        const uint32_t message = takeLeftPress(w, e.timestamp, x, y) ? kWmLButtonDblClk : kWmLButtonDown;
        sendWindowMessage(w, message, mouseFlags(buttons | SDL_BUTTON_LMASK), makePointParam(x, y));
        return;
    }
    if (down)
        forgetFirstClick();  // another button between two presses
    if (e.button == SDL_BUTTON_RIGHT && w->enabled)
        sendWindowMessage(w, down ? kWmRButtonDown : kWmRButtonUp, mouseFlags(buttons), makePointParam(x, y));
}

}  // namespace

namespace window_detail {

void handleEvent(const SDL_Event& e) {
    switch (e.type) {
    case SDL_WINDOWEVENT:
        handleWindowEvent(e.window);
        return;
    case SDL_MOUSEMOTION: {
        int x = e.motion.x, y = e.motion.y;
        WindowState* w = mouseTarget(findBySdlId(e.motion.windowID), &x, &y);
        noteMotion(w, x, y);
        if (w && w->enabled)
            sendWindowMessage(w, kWmMouseMove, mouseFlags(e.motion.state), makePointParam(x, y));
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        handleMouseButton(e.button);
        return;
    case SDL_MOUSEWHEEL: {
        WindowState* w = findBySdlId(e.wheel.windowID);
        int x = e.wheel.mouseX, y = e.wheel.mouseY;
        w = mouseTarget(w, &x, &y);
        if (!w || !w->enabled)
            return;
        float notches = e.wheel.preciseY;
        if (!std::isfinite(notches))
            return;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        const int delta = static_cast<int>(std::lround(std::clamp(notches, -200.0f, 200.0f) * 120.0f));
        if (delta == 0)
            return;
        sendWindowMessage(w, kWmMouseWheel, makeWheelParam(delta, mouseFlags(SDL_GetMouseState(nullptr, nullptr))),
                          makePointParam(x, y));
        return;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const uint16_t mod = e.key.keysym.mod;
        loop().shiftDown = (mod & KMOD_SHIFT) != 0;
        loop().controlDown = (mod & KMOD_CTRL) != 0;
        WindowState* w = findBySdlId(e.key.windowID);
        // A popup menu holding the capture takes the keys of its owner.
        if (WindowState* capture = findWindow(loop().capture); capture && capture->kind == WindowKind::Popup)
            w = capture;
        const int key = virtualKey(e.key.keysym.sym);
        if (!w || !w->enabled || key == 0)
            return;
        if (e.type == SDL_KEYUP)
            sendWindowMessage(w, kWmKeyUp, static_cast<uintptr_t>(key), 0);
        else
            sendWindowMessage(w, (mod & KMOD_ALT) ? kWmSysKeyDown : kWmKeyDown, static_cast<uintptr_t>(key), 0);
        return;
    }
    case SDL_TEXTINPUT: {
        WindowState* w = findBySdlId(e.text.windowID);
        if (!w || !w->enabled)
            return;
        // Control characters never become characters.
        const auto* s = reinterpret_cast<const unsigned char*>(e.text.text);
        size_t i = 0;
        const size_t n = strnlen(e.text.text, sizeof(e.text.text));
        while (i < n && findWindow(w->handle)) {
            const uint32_t cp = nextCodePoint(s, n, &i);
            if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
                continue;
            sendWindowMessage(w, kWmChar, cp, 0);
        }
        return;
    }
    case SDL_SYSWMEVENT:
        handleHotKeyEvent(e);
        return;
    default:
        return;
    }
}

// A held left button whose release will not arrive (focus or capture lost):
// the window gets the button-up all the same, so holds always end.
void endLostHold(WindowState* w) {
    if (!w || !w->leftDown)
        return;
    w->leftDown = false;
    // The point in this window's pixels. SDL's mouse state is relative to
    // the window that has the mouse focus, which may be another.
    int x = 0, y = 0;
    if (SDL_GetMouseFocus() == w->sdl) {
        SDL_GetMouseState(&x, &y);
    } else {
        int wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&x, &y);
        windowPosition(w, &wx, &wy);
        x -= wx;
        y -= wy;
    }
    sendWindowMessage(w, kWmLButtonUp, mouseFlags(0), makePointParam(toPixels(w, x), toPixels(w, y)));
}
// SDL asks on every left press and release (on Wayland; on X11 only for the
// main window's resize border). A release of a press the window had is
// always the window's.
SDL_HitTestResult SDLCALL hitTest(SDL_Window* window, const SDL_Point* point, void* data) {
    WindowState* w = static_cast<WindowState*>(data);
    if (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK)
        return SDL_HITTEST_NORMAL;
    const uint32_t flags = SDL_GetWindowFlags(window);
    if (w->kind == WindowKind::Main && !(flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN))) {
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        const int b = kResizeBorder;
        const bool left = point->x < b, right = point->x >= width - b, top = point->y < b, bottom = point->y >= height - b;
        if (top && left) return SDL_HITTEST_RESIZE_TOPLEFT;
        if (top && right) return SDL_HITTEST_RESIZE_TOPRIGHT;
        if (bottom && left) return SDL_HITTEST_RESIZE_BOTTOMLEFT;
        if (bottom && right) return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
        if (top) return SDL_HITTEST_RESIZE_TOP;
        if (bottom) return SDL_HITTEST_RESIZE_BOTTOM;
        if (left) return SDL_HITTEST_RESIZE_LEFT;
        if (right) return SDL_HITTEST_RESIZE_RIGHT;
    }
    const int x = toPixels(w, point->x), y = toPixels(w, point->y);
    if (!loop().wayland || !w->captionTest || !w->enabled || !w->captionTest(x, y, w->captionUser))
        return SDL_HITTEST_NORMAL;
    // The press the compositor takes for a move is the first of a possible
    // double click; a second one soon after near it reaches the window and
    // completes it. Kept apart from the layer's own first click, which the
    // pointer's leave at the move's start ends before the second press.
    auto& first = loop().captionPress;
    const uint32_t now = SDL_GetTicks();
    if (first.window == w->handle && now - first.timeMs <= doubleClickMs() && isNear(first, x, y)) {
        w->captionDoubleMs = std::max<uint32_t>(now, 1);
        return SDL_HITTEST_NORMAL;
    }
    first.window = w->handle;
    first.timeMs = now;
    first.x = x;
    first.y = y;
    return SDL_HITTEST_DRAGGABLE;
}

void setHitTest(WindowState* w) {
    const bool test = w->kind == WindowKind::Main || (loop().wayland && w->captionTest);
    SDL_SetWindowHitTest(w->sdl, test ? hitTest : nullptr, w);
}

}  // namespace window_detail

void setWindowCaptionTest(WindowHandle window, CaptionTest test, void* user) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    w->captionTest = test;
    w->captionUser = user;
    setHitTest(w);
}

void setMouseCapture(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w || !w->enabled)
        return;
    loop().capture = w->handle;
    SDL_CaptureMouse(SDL_TRUE);
}

void releaseMouseCapture() {
    if (!loop().capture)
        return;
    loop().capture = nullptr;
    SDL_CaptureMouse(SDL_FALSE);
}

WindowHandle mouseCaptureWindow() { return findWindow(loop().capture) ? loop().capture : nullptr; }

bool isShiftDown() { return loop().shiftDown; }
bool isControlDown() { return loop().controlDown; }

}  // namespace qv
