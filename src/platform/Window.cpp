// Windows and the message loop on SDL2.
//
// Sections: state and look-ups; the cross-thread post queue; timers and
// painting; SDL event translation; the loop; window functions.

#include "platform/Window.h"

#include "platform/DesktopDpi.h"
#include "platform/Output.h"
#include "platform/X11Errors.h"
#include "platform/XSettings.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/WindowTarget.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_set>

namespace qv {

namespace {

// A window's record. The handle given out for it is a number of its own,
// never given to another window, so a message or a handle kept for a window
// that is gone never reaches one made later (whatever address its record got).
struct WindowState {
    WindowHandle handle = nullptr;
    struct Timer {
        uint32_t id = 0;
        uint32_t periodMs = 0;
        uint64_t dueMs = 0;
    };
    SDL_Window* sdl = nullptr;
    uint32_t sdlId = 0;
    WindowKind kind = WindowKind::Main;
    WindowProc proc = nullptr;
    void* user = nullptr;
    WindowTarget* target = nullptr;
    bool targetLost = false;
    bool invalid = true;
    bool wholeInvalid = true;  // the next paint draws the whole window
    bool enabled = true;
    bool leftDown = false;
    bool focused = false;
    bool destroying = false;
    float pixelRatio = 1.0f;    // drawing pixels per SDL window coordinate (above 1 on scaled Wayland outputs)
    uint64_t paintNotBeforeMs = 0;  // after a failed present: the next attempt
    std::vector<Timer> timers;
};

// ---- state and look-ups ----------------------------------------------------

constexpr size_t kMaxPosted = 4096;
constexpr int kResizeBorder = 5;
constexpr int kMaxEventsPerPass = 512;
constexpr uint64_t kPaintRetryMs = 250;

struct Posted {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// Touched from any thread, under `mutex`.
struct PostQueue {
    std::mutex mutex;
    std::deque<Posted> messages;
    std::unordered_set<WindowHandle> live;  // handles of the windows that exist
    bool wakePending = false;
};

PostQueue& postQueue() {
    static PostQueue queue;
    return queue;
}

std::atomic<uint32_t> gWakeEvent{0};

// On X11 the GUI thread waits on its display connection and on this event
// counter itself, never in SDL_WaitEventTimeout: SDL's wait wakes itself by
// sending an event to the newest window over a second display connection of
// its own, for every event it queues during the wait and for every event
// pushed from another thread. When that window has just been destroyed (a
// menu or dialog closed by the key that SDL was queuing), the X server may
// see the destruction first and answers the send with BadWindow. Made once;
// written by posts from any thread.
std::atomic<int> gWakeFd{-1};
std::atomic<bool> gOwnWait{false};      // the GUI thread waits on gWakeFd
std::atomic<bool> gDisplayLost{false};  // the X server connection failed

void wakeGuiThread() {
    if (const int fd = gWakeFd.load(); fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);  // full counter: already awake
    }
}

void onDisplayLost(void*) { gDisplayLost.store(true); }

// GUI thread only.
struct LoopState {
    bool ready = false;
    std::vector<std::unique_ptr<WindowState>> windows;
    WindowHandle capture = nullptr;
    bool quitPosted = false;
    bool shiftDown = false;
    bool controlDown = false;
    Display* x11 = nullptr;  // SDL's display connection on X11, known from the first window
    bool lostAnnounced = false;
    uint64_t loopsRun = 0;  // message loops entered (nested ones in handlers among them)
    std::string lastError;
    std::string note;
    const WindowSystemObserver* observer = nullptr;
    bool wayland = false;
    float waylandScale = 1.0f;  // of the outputs, as a new window gets it
    XResourceDpiWatcher xftDpi;  // X11: the desktop's Xft.dpi
    // The left press that a second one may make a double click of: window
    // null when there is none (a drag, another button, the pointer leaving
    // or entering a window, or a double click ended the series).
    struct FirstClick {
        WindowHandle window = nullptr;
        uint32_t timeMs = 0;  // SDL's event time stamp
        int x = 0, y = 0;     // in the window's pixels
    } firstClick;
};

std::atomic<uint64_t> gPresentedFrames{0};

LoopState& loop() {
    static LoopState state;
    return state;
}

uint64_t nowMs() { return SDL_GetTicks64(); }

WindowState* findWindow(WindowHandle window) {
    if (!window)
        return nullptr;
    for (auto& w : loop().windows)
        if (w->handle == window && !w->destroying)
            return w.get();
    return nullptr;
}

// Calls the window procedure of a record (by its handle, so a record whose
// window was destroyed meanwhile gets nothing).
intptr_t sendWindowMessage(WindowState* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return w ? qv::sendWindowMessage(w->handle, message, wParam, lParam) : 0;
}

// The next window's handle: a count, so no two windows of the process ever
// share one.
WindowHandle newWindowHandle() {
    static uintptr_t count = 0;
    ++count;
    return reinterpret_cast<WindowHandle>(count << 4);
}

WindowState* findBySdlId(uint32_t id) {
    for (auto& w : loop().windows)
        if (w->sdlId == id && !w->destroying)
            return w.get();
    return nullptr;
}

void setError(std::string text) { loop().lastError = std::move(text); }

// Drawing pixels per window coordinate: 1 except on a scaled Wayland output,
// where SDL's window coordinates are the compositor's logical points.
float pixelRatioOf(SDL_Window* window) {
    int points = 0, pixels = 0, h = 0;
    SDL_GetWindowSize(window, &points, &h);
    SDL_GetWindowSizeInPixels(window, &pixels, &h);
    if (points <= 0 || pixels <= 0)
        return 1.0f;
    return std::clamp(static_cast<float>(pixels) / static_cast<float>(points), 0.25f, 8.0f);
}

int dpiOfRatio(float ratio) {
    return std::clamp(static_cast<int>(std::lround(ratio * kDefaultDpi)), kMinDesktopDpi, kMaxDesktopDpi);
}

// Window coordinates to drawing pixels and back.
int toPixels(const WindowState* w, int v) { return static_cast<int>(std::lround(v * w->pixelRatio)); }
int toPoints(const WindowState* w, int v) { return static_cast<int>(std::lround(v / w->pixelRatio)); }

int windowDpi(const WindowState* w) {
    if (const int forced = dpiFromEnvironment(); forced != 0)
        return forced;
    if (loop().wayland)
        return dpiOfRatio(w->pixelRatio);
    return desktopDpi();
}

// ---- timers and painting ---------------------------------------------------

// Milliseconds until the next timer is due, capped at `limit`.
int msUntilNextTimer(int limit) {
    const uint64_t now = nowMs();
    uint64_t best = static_cast<uint64_t>(std::max(limit, 0));
    for (auto& w : loop().windows) {
        if (w->destroying)
            continue;
        for (const auto& t : w->timers)
            best = std::min(best, t.dueMs > now ? t.dueMs - now : 0);
        if (w->invalid && w->paintNotBeforeMs > now)
            best = std::min(best, w->paintNotBeforeMs - now);
    }
    return static_cast<int>(best);
}

// Delivers every due timer once; a timer late by several periods fires once.
void fireDueTimers() {
    const uint64_t now = nowMs();
    std::vector<std::pair<WindowHandle, uint32_t>> due;
    for (auto& w : loop().windows) {
        if (w->destroying)
            continue;
        for (auto& t : w->timers) {
            if (t.dueMs <= now) {
                t.dueMs = now + t.periodMs;
                due.emplace_back(w->handle, t.id);
            }
        }
    }
    for (const auto& entry : due) {
        const uint32_t id = entry.second;
        WindowState* w = findWindow(entry.first);
        if (!w)
            continue;
        // Killed by an earlier handler of this pass: not delivered.
        const bool stillSet = std::any_of(w->timers.begin(), w->timers.end(), [id](auto& t) { return t.id == id; });
        if (stillSet)
            sendWindowMessage(entry.first, kWmTimer, id, 0);
    }
}

// Invalid, shown, and not waiting after a failed present (which would
// otherwise be retried at once, over and over).
bool paintDue(const WindowState& w, uint64_t now) {
    return !w.destroying && w.invalid && w.paintNotBeforeMs <= now && (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_SHOWN);
}

bool anyInvalid() {
    const uint64_t now = nowMs();
    for (auto& w : loop().windows)
        if (paintDue(*w, now))
            return true;
    return false;
}

void paintInvalidWindows() {
    std::vector<WindowHandle> list;
    const uint64_t now = nowMs();
    for (auto& w : loop().windows)
        if (paintDue(*w, now))
            list.push_back(w->handle);
    for (WindowHandle window : list)
        updateWindow(window);
}

// ---- the post queue ----------------------------------------------------------

// Messages are taken one at a time: a handler may run a nested loop (a
// modal dialog), which must see the messages posted after the one that
// opened it, a quit among them. Only those waiting at the start are
// dispatched here, so a stream of new posts cannot hold the loop.
void dispatchPosted() {
    PostQueue& q = postQueue();
    size_t waiting = 0;
    {
        std::lock_guard lock(q.mutex);
        waiting = q.messages.size();
        q.wakePending = false;
    }
    for (; waiting > 0; --waiting) {
        Posted p{};
        {
            std::lock_guard lock(q.mutex);
            if (q.messages.empty())
                return;
            p = q.messages.front();
            q.messages.pop_front();
        }
        if (findWindow(p.window))
            sendWindowMessage(p.window, p.message, p.wParam, p.lParam);
    }
}

bool postedWaiting() {
    PostQueue& q = postQueue();
    std::lock_guard lock(q.mutex);
    return !q.messages.empty();
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

// Where the window's client area is on the screen. SDL keeps a copy that
// misses moves the window manager makes (a maximised borderless window still
// reads as where it was before), so on X11 the server is asked.
void windowPosition(const WindowState* w, int* x, int* y) {
    SDL_GetWindowPosition(w->sdl, x, y);
    Display* display = loop().x11;
    if (!display || gDisplayLost.load())
        return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    int rx = 0, ry = 0;
    Window child = 0;
    if (XTranslateCoordinates(display, info.info.x11.window, DefaultRootWindow(display), 0, 0, &rx, &ry, &child)) {
        *x = rx;
        *y = ry;
    }
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
        if (w) {
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

// A held left button whose release will not arrive (focus or capture lost):
// the window gets the button-up all the same, so holds always end.
void endLostHold(WindowState* w) {
    if (!w || !w->leftDown)
        return;
    w->leftDown = false;
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    sendWindowMessage(w, kWmLButtonUp, mouseFlags(0), makePointParam(toPixels(w, x), toPixels(w, y)));
}

// A new scale of the window's output (Wayland): its size in pixels has
// already followed, so the owner only lays out again.
void checkPixelRatio(WindowState* w) {
    const float ratio = pixelRatioOf(w->sdl);
    if (std::fabs(ratio - w->pixelRatio) < 0.01f)
        return;
    const int before = windowDpi(w);
    w->pixelRatio = ratio;
    if (const int dpi = windowDpi(w); dpi != before)
        sendWindowMessage(w, kWmDisplayChanged, static_cast<uintptr_t>(dpi), kDpiChangeSizeFollowed);
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

bool isNearFirstClick(int x, int y) {
    const auto& first = loop().firstClick;
    return std::abs(x - first.x) <= kDoubleClickRadius && std::abs(y - first.y) <= kDoubleClickRadius;
}

void forgetFirstClick() { loop().firstClick.window = nullptr; }

// A left press: true when it completes a double click. Otherwise it may be
// the first press of one.
bool takeLeftPress(WindowState* w, uint32_t timeMs, int x, int y) {
    auto& first = loop().firstClick;
    const bool isDouble =
        first.window == w->handle && timeMs - first.timeMs <= doubleClickMs() && isNearFirstClick(x, y);
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
        endLostHold(w);
        sendWindowMessage(w, kWmSize, kSizeMinimized, 0);
        return;
    case SDL_WINDOWEVENT_MAXIMIZED:
        sendSize(w, kSizeMaximized);
        return;
    case SDL_WINDOWEVENT_RESTORED:
        sendSize(w, kSizeRestored);
        return;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        w->focused = true;
        sendWindowMessage(w, kWmActivate, 1, 0);
        return;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        w->focused = false;
        endLostHold(w);
        sendWindowMessage(w, kWmActivate, 0, 0);
        return;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
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
        // UTF-8 to code points; control characters never become characters.
        const auto* s = reinterpret_cast<const unsigned char*>(e.text.text);
        size_t i = 0;
        const size_t n = strnlen(e.text.text, sizeof(e.text.text));
        while (i < n && findWindow(w->handle)) {
            uint32_t cp = s[i];
            int extra = 0;
            if (cp >= 0xF0 && cp < 0xF8) { cp &= 0x07; extra = 3; }
            else if (cp >= 0xE0) { cp &= 0x0F; extra = 2; }
            else if (cp >= 0xC0) { cp &= 0x1F; extra = 1; }
            else if (cp >= 0x80) { ++i; continue; }
            if (i + extra >= n + (extra ? 0 : 1))
                break;
            bool valid = true;
            for (int k = 1; k <= extra; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) { valid = false; break; }
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
            i += valid ? 1 + extra : 1;
            if (!valid || cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp > 0x10FFFF)
                continue;
            sendWindowMessage(w, kWmChar, cp, 0);
        }
        return;
    }
    default:
        return;
    }
}

// ---- the loop ---------------------------------------------------------------

// A desktop announces a new scale by rewriting its resources (X11): every
// window is told the new DPI. QUORVANE_DPI, when set, stays in force.
void checkDesktopDpi() {
    if (!loop().xftDpi.poll() || dpiFromEnvironment() != 0)
        return;
    const int dpi = desktopDpi();
    std::vector<WindowHandle> list;
    for (auto& w : loop().windows)
        if (!w->destroying)
            list.push_back(w->handle);
    for (WindowHandle window : list)
        sendWindowMessage(window, kWmDisplayChanged, static_cast<uintptr_t>(dpi), 0);
}

// One pass: waits at most waitMs for the first event (less when a timer is
// due, a message is posted or a window needs painting), then handles what is
// waiting, posted messages, due timers and paints.
// Waits up to waitMs for input on the X connection or a post; what arrived
// is then taken with SDL_PollEvent, which never sends anything.
void waitOnDisplay(Display* display, int waitMs) {
    if (waitMs > 0 && !gDisplayLost.load()) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
            waitMs = 0;
    }
    pollfd fds[2] = {{gWakeFd.load(), POLLIN, 0}, {-1, POLLIN, 0}};
    int count = 1;
    if (waitMs > 0 && !gDisplayLost.load()) {
        // Requests still buffered go out before the wait; events Xlib
        // already read need no wait. A failed connection is not waited on:
        // it is always readable.
        XFlush(display);
        if (XEventsQueued(display, QueuedAlready) > 0)
            waitMs = 0;
        fds[count++].fd = ConnectionNumber(display);
    }
    if (waitMs > 0)
        ::poll(fds, static_cast<nfds_t>(count), waitMs);
    uint64_t counter = 0;
    [[maybe_unused]] const ssize_t got = ::read(fds[0].fd, &counter, sizeof counter);
}

// The connection to the X server failed: every loop ends (the quit message),
// and the windows can only be destroyed.
void announceDisplayLost() {
    if (!gDisplayLost.load() || loop().lostAnnounced)
        return;
    loop().lostAnnounced = true;
    errPrint("  ERROR: the connection to the X display was lost; the windows close\n");
    postQuitMessage();
}

void runOnePass(int waitMs) {
    announceDisplayLost();
    if (loop().quitPosted)
        return;
    int wait = msUntilNextTimer(waitMs);
    if (postedWaiting() || anyInvalid())
        wait = 0;
    SDL_Event e;
    int handled = 0;
    if (Display* display = loop().x11) {
        waitOnDisplay(display, wait);
        announceDisplayLost();
    } else if (SDL_WaitEventTimeout(&e, wait) != 0) {
        handleEvent(e);
        ++handled;
    }
    // SDL does not read a failed connection safely: nothing more comes from it.
    while (handled < kMaxEventsPerPass && !loop().quitPosted && !gDisplayLost.load() && SDL_PollEvent(&e) != 0) {
        handleEvent(e);
        ++handled;
    }
    if (loop().quitPosted)
        return;
    checkDesktopDpi();
    if (loop().quitPosted)
        return;
    dispatchPosted();
    if (loop().quitPosted)
        return;
    fireDueTimers();
    if (loop().quitPosted)
        return;
    paintInvalidWindows();
}

SDL_HitTestResult SDLCALL hitTest(SDL_Window* window, const SDL_Point* point, void* data) {
    (void)data;
    const uint32_t flags = SDL_GetWindowFlags(window);
    if (flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN))
        return SDL_HITTEST_NORMAL;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    const int b = kResizeBorder;
    const bool left = point->x < b, right = point->x >= w - b, top = point->y < b, bottom = point->y >= h - b;
    if (top && left) return SDL_HITTEST_RESIZE_TOPLEFT;
    if (top && right) return SDL_HITTEST_RESIZE_TOPRIGHT;
    if (bottom && left) return SDL_HITTEST_RESIZE_BOTTOMLEFT;
    if (bottom && right) return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
    if (top) return SDL_HITTEST_RESIZE_TOP;
    if (bottom) return SDL_HITTEST_RESIZE_BOTTOM;
    if (left) return SDL_HITTEST_RESIZE_LEFT;
    if (right) return SDL_HITTEST_RESIZE_RIGHT;
    return SDL_HITTEST_NORMAL;
}

// SDL 2.26's Wayland driver needs an input seat: on a compositor without one
// (weston's headless back end) it crashes while starting. The compositor's
// globals are read on a connection of our own first.
bool waylandHasSeat(std::string* why) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        *why = "cannot connect to the Wayland compositor";
        return false;
    }
    bool seat = false;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "wl_seat") == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    if (registry) {
        wl_registry_add_listener(registry, &listener, &seat);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    if (!seat)
        *why = "the Wayland compositor offers no input seat";
    return seat;
}

// The renderer's GL library stays loaded to the end of the process, like
// the video subsystem: the GL drivers free part of their memory only while
// loaded (and SDL would unload them with the last window).
void keepGlLoaded() {
    static bool kept = false;
    if (!kept)
        kept = SDL_GL_LoadLibrary(nullptr) == 0;
}

// Whether a window of this driver can be drawn: its surface, else a
// renderer. The pixel ratio of a new window is the outputs' scale.
bool probeWaylandWindow(std::string* why) {
    SDL_Window* probe = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                         SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_BORDERLESS);
    if (!probe) {
        *why = std::string("SDL_CreateWindow: ") + SDL_GetError();
        return false;
    }
    WindowTarget* target = createWindowTarget(probe);
    const bool ok = target != nullptr;
    if (ok)
        loop().waylandScale = pixelRatioOf(probe);
    else
        *why = "no window surface and no renderer: " + lastGraphicsError();
    destroyWindowTarget(&target);
    SDL_DestroyWindow(probe);
    return ok;
}

}  // namespace

// ---- window system ------------------------------------------------------------

void prepareWindowSystem() {
    // The window class (X11) and app id (Wayland), so desktops group our
    // windows and find their icon. SDL reads them from the environment only.
    setenv("SDL_VIDEO_X11_WMCLASS", "quorvane", 0);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", "quorvane", 0);
}

bool windowSystemInit(std::string* error) {
    if (loop().ready)
        return true;
    // SDL falls back to its invisible offscreen driver when no display
    // answers; unless that driver was asked for (tests), that is no display.
    const char* requested = getenv("SDL_VIDEODRIVER");
    const bool explicitDriver = requested && *requested;
    const auto fail = [&](const std::string& text) {
        setError(text);
        if (error)
            *error = text;
        return false;
    };
    const char* display = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if (!explicitDriver && !(display && *display) && !(wayland && *wayland))
        return fail("no display (DISPLAY and WAYLAND_DISPLAY are not set)");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // Frames are drawn by the CPU and copied to the window: no GPU texture in
    // between (SDL would otherwise re-create each window for OpenGL at its
    // first present).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_APP_NAME, "Quor Vane");
    loop().note.clear();
    loop().wayland = false;
    loop().waylandScale = 1.0f;
    // Native Wayland is used only when asked for (SDL prefers X11 through
    // Xwayland). When it cannot give a window that draws, X11 through
    // Xwayland does, where there is one.
    const bool askedWayland = explicitDriver && std::strcmp(requested, "wayland") == 0;
    std::string why;
    bool useX11 = askedWayland && !waylandHasSeat(&why);
    if (!useX11) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return fail(std::string("no display: SDL_Init video: ") + SDL_GetError());
        const char* current = SDL_GetCurrentVideoDriver();
        if (current && std::strcmp(current, "wayland") == 0)
            keepGlLoaded();
        if (current && std::strcmp(current, "wayland") == 0 && !probeWaylandWindow(&why)) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            useX11 = true;
        }
    }
    if (useX11) {
        if (!(display && *display))
            return fail("no window on Wayland: " + why);
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
        const int failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, nullptr, SDL_HINT_OVERRIDE);
        if (failed != 0)
            return fail("no window on Wayland (" + why + ") and none through X11: " + SDL_GetError());
        loop().note = "Wayland: " + why + "; the window uses X11 through Xwayland";
    }
    const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    if (!explicitDriver && (driver == "offscreen" || driver == "dummy")) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return fail("no display could be opened (" + std::string(display ? display : "") + ")");
    }
    // SDL counts double clicks with its own 500 ms unless told otherwise;
    // the desktop's own time wins unless the environment set one.
    if (driver == "x11" && !SDL_GetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME))
        if (const std::optional<int> ms = desktopDoubleClickMs())
            SDL_SetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME, std::to_string(*ms).c_str());
    loop().wayland = driver == "wayland";
    if (loop().wayland && loop().waylandScale == 1.0f) {
        std::string ignored;
        probeWaylandWindow(&ignored);
    }
    if (driver == "x11")
        loop().xftDpi.open(display);
    if (driver == "x11") {
        // SDL's video start installed its own handlers, which end the process.
        installX11ErrorHandlers();
        static std::once_flag once;
        std::call_once(once, [] { gWakeFd.store(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)); });
    }
    const uint32_t wake = SDL_RegisterEvents(1);
    gWakeEvent.store(wake == static_cast<uint32_t>(-1) ? 0 : wake);
    SDL_StartTextInput();
    loop().ready = true;
    loop().quitPosted = false;
    return true;
}

void windowSystemShutdown(bool endVideo) {
    if (!loop().ready)
        return;
    while (!loop().windows.empty()) {
        WindowState* w = loop().windows.back().get();
        if (w->destroying) {
            loop().windows.pop_back();
            continue;
        }
        destroyWindow(w->handle);
    }
    {
        PostQueue& q = postQueue();
        std::lock_guard lock(q.mutex);
        q.messages.clear();
        q.live.clear();
        q.wakePending = false;
    }
    gWakeEvent.store(0);
    loop().xftDpi.close();
    if (endVideo) {
        if (loop().x11) {
            gOwnWait.store(false);
            unwatchX11Connection(loop().x11);
            loop().x11 = nullptr;
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    } else if (!gDisplayLost.load()) {
        // Sends the destruction of the windows to the display server now,
        // not at the next use of the connection.
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    loop().ready = false;
    loop().capture = nullptr;
}

bool windowSystemReady() { return loop().ready; }

bool windowSystemLost() { return gDisplayLost.load(); }

std::string windowSystemDriver() {
    const char* name = loop().ready ? SDL_GetCurrentVideoDriver() : nullptr;
    return name ? name : "";
}

std::string lastWindowError() { return loop().lastError; }

std::string windowSystemNote() { return loop().note; }

int desktopDpi() {
    if (const int forced = dpiFromEnvironment(); forced != 0)
        return forced;
    if (loop().wayland)
        return dpiOfRatio(loop().waylandScale);
    if (const int xft = loop().xftDpi.xftDpi(); xft != 0)
        return xft;
    return kDefaultDpi;
}

uint64_t presentedFrameCount() { return gPresentedFrames.load(std::memory_order_relaxed); }

void setWindowSystemObserver(const WindowSystemObserver* observer) { loop().observer = observer; }

// ---- windows ------------------------------------------------------------------

WindowHandle createWindow(const WindowOptions& options) {
    if (!loop().ready) {
        setError("createWindow: the window system is not running");
        return nullptr;
    }
    uint32_t flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    switch (options.kind) {
    case WindowKind::Main: flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE; break;
    case WindowKind::Dialog: break;
    case WindowKind::Popup:
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_POPUP_MENU | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_ALWAYS_ON_TOP;
        break;
    }
    // Sizes are drawing pixels; SDL takes window coordinates (points on a
    // scaled Wayland output).
    const float ratio = loop().wayland ? loop().waylandScale : 1.0f;
    const int width = std::clamp(static_cast<int>(std::lround(options.width / ratio)), 1, 16384);
    const int height = std::clamp(static_cast<int>(std::lround(options.height / ratio)), 1, 16384);
    const auto position = [](int v) {
        if (v == kWindowPositionDefault)
            return static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
        if (v == kWindowPositionCentered)
            return static_cast<int>(SDL_WINDOWPOS_CENTERED);
        return v;
    };
    SDL_Window* sdl = SDL_CreateWindow(options.title ? options.title : "", position(options.x), position(options.y),
                                       width, height, flags);
    if (!sdl) {
        setError(std::string("SDL_CreateWindow: ") + SDL_GetError());
        return nullptr;
    }
    if (!loop().x11 && gWakeFd.load() >= 0) {
        // SDL's display connection: our handlers keep its loss from ending
        // the process, and the loop waits on it from now on.
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(sdl, &info) && info.subsystem == SDL_SYSWM_X11 && info.info.x11.display) {
            loop().x11 = info.info.x11.display;
            watchX11Connection(loop().x11, onDisplayLost, nullptr);
            gOwnWait.store(true);
        }
    }
    auto window = std::make_unique<WindowState>();
    window->handle = newWindowHandle();
    window->sdl = sdl;
    window->sdlId = SDL_GetWindowID(sdl);
    window->kind = options.kind;
    window->proc = options.proc;
    window->user = options.user;
    window->target = createWindowTarget(sdl);
    if (!window->target) {
        setError("createWindow: no drawing target: " + lastGraphicsError());
        SDL_DestroyWindow(sdl);
        return nullptr;
    }
    window->pixelRatio = pixelRatioOf(sdl);
    if (options.minWidth > 0 && options.minHeight > 0)
        SDL_SetWindowMinimumSize(sdl, std::clamp(toPoints(window.get(), options.minWidth), 1, 16384),
                                 std::clamp(toPoints(window.get(), options.minHeight), 1, 16384));
    if (options.kind == WindowKind::Main)
        SDL_SetWindowHitTest(sdl, hitTest, nullptr);
    if (WindowState* owner = findWindow(options.owner); owner && options.kind == WindowKind::Dialog)
        SDL_SetWindowModalFor(sdl, owner->sdl);
    WindowState* raw = window.get();
    loop().windows.push_back(std::move(window));
    {
        PostQueue& q = postQueue();
        std::lock_guard lock(q.mutex);
        q.live.insert(raw->handle);
    }
    if (options.visible)
        showWindow(raw->handle, ShowCommand::Show);
    return raw->handle;
}

void destroyWindow(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    {
        PostQueue& q = postQueue();
        std::lock_guard lock(q.mutex);
        q.live.erase(w->handle);
    }
    if (loop().capture == w->handle) {
        loop().capture = nullptr;
        SDL_CaptureMouse(SDL_FALSE);
    }
    sendWindowMessage(w, kWmDestroy, 0, 0);
    w->destroying = true;  // from here on no message reaches it
    w->timers.clear();
    destroyWindowTarget(&w->target);
    // SDL leaves the request in the display connection's buffer; send it
    // now, so the window is gone for others too (the next use of the
    // connection may be much later).
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    Display* x11 = SDL_GetWindowWMInfo(w->sdl, &info) && info.subsystem == SDL_SYSWM_X11 ? info.info.x11.display : nullptr;
    SDL_DestroyWindow(w->sdl);
    if (x11)
        XFlush(x11);
    w->sdl = nullptr;
    auto& list = loop().windows;
    list.erase(std::remove_if(list.begin(), list.end(), [w](auto& p) { return p.get() == w; }), list.end());
}

bool isWindow(WindowHandle window) { return findWindow(window) != nullptr; }

void loseWindowTarget(WindowHandle window) {
    if (WindowState* w = findWindow(window)) {
        destroyWindowTarget(&w->target);
        w->targetLost = true;
        w->invalid = w->wholeInvalid = true;
    }
}

bool hasWindowTarget(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && w->target;
}

intptr_t sendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WindowState* w = findWindow(window);
    if (!w || !w->proc)
        return 0;
    return w->proc(w->handle, message, wParam, lParam, w->user);
}

bool postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!window)
        return false;
    bool wake = false;
    {
        PostQueue& q = postQueue();
        std::lock_guard lock(q.mutex);
        if (!q.live.count(window) || q.messages.size() >= kMaxPosted)
            return false;
        q.messages.push_back({window, message, wParam, lParam});
        wake = !q.wakePending;
        q.wakePending = true;
    }
    if (wake && gOwnWait.load()) {
        wakeGuiThread();
    } else if (wake) {
        if (const uint32_t type = gWakeEvent.load(); type != 0) {
            SDL_Event e{};
            e.type = type;
            SDL_PushEvent(&e);
        }
    }
    return true;
}

bool setWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMs) {
    WindowState* w = findWindow(window);
    if (!w)
        return false;
    periodMs = std::max<uint32_t>(periodMs, 1);
    const uint64_t due = nowMs() + periodMs;
    for (auto& t : w->timers) {
        if (t.id == id) {
            t.periodMs = periodMs;
            t.dueMs = due;
            return true;
        }
    }
    w->timers.push_back({id, periodMs, due});
    return true;
}

void killWindowTimer(WindowHandle window, uint32_t id) {
    if (WindowState* w = findWindow(window))
        w->timers.erase(std::remove_if(w->timers.begin(), w->timers.end(), [id](auto& t) { return t.id == id; }),
                        w->timers.end());
}

bool hasWindowTimer(WindowHandle window, uint32_t id, uint32_t* periodMs) {
    if (WindowState* w = findWindow(window)) {
        for (auto& t : w->timers) {
            if (t.id == id) {
                if (periodMs)
                    *periodMs = t.periodMs;
                return true;
            }
        }
    }
    return false;
}

void invalidateWindow(WindowHandle window) {
    if (WindowState* w = findWindow(window))
        w->invalid = w->wholeInvalid = true;
}

void requestWindowPaint(WindowHandle window) {
    if (WindowState* w = findWindow(window))
        w->invalid = true;
}

void updateWindow(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w || !w->invalid)
        return;
    w->invalid = false;
    if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MINIMIZED)
        return;
    sendWindowMessage(w, kWmPaint, 0, 0);
}

DrawContext* beginWindowPaint(WindowHandle window, bool* whole) {
    if (whole)
        *whole = true;
    WindowState* w = findWindow(window);
    if (!w)
        return nullptr;
    bool wholeFrame = w->wholeInvalid;
    if (w->targetLost || !w->target) {
        // Dropped after a failed frame, or never made: try again now.
        destroyWindowTarget(&w->target);
        w->target = createWindowTarget(w->sdl);
        w->targetLost = w->target == nullptr;
        if (!w->target)
            return nullptr;
        wholeFrame = true;
    }
    int width = 0, height = 0;
    windowTargetPixelSize(w->target, &width, &height);
    if (width > 0 && height > 0 &&
        (windowTargetWidth(w->target) != width || windowTargetHeight(w->target) != height)) {
        resizeWindowTarget(w->target, width, height);
        wholeFrame = true;
    }
    DrawContext* context = beginDraw(w->target);
    if (context)
        w->wholeInvalid = false;
    if (whole)
        *whole = wholeFrame || !context;
    return context;
}

bool endWindowPaint(WindowHandle window, const PixelRect* rects, int count) {
    WindowState* w = findWindow(window);
    if (!w || !w->target)
        return false;
    if (!endDraw(w->target) || !presentWindowTarget(w->target, rects, count)) {
        // Made again and painted after a pause: a window that cannot be
        // shown must not keep the thread busy.
        w->targetLost = true;
        w->invalid = w->wholeInvalid = true;
        w->paintNotBeforeMs = nowMs() + kPaintRetryMs;
        return false;
    }
    w->paintNotBeforeMs = 0;
    gPresentedFrames.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void showWindow(WindowHandle window, ShowCommand command) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    if (loop().observer && loop().observer->showRequested)
        loop().observer->showRequested(window, command);
    switch (command) {
    case ShowCommand::Hide:
        endLostHold(w);
        SDL_HideWindow(w->sdl);
        return;
    case ShowCommand::Show:
        SDL_ShowWindow(w->sdl);
        w->invalid = w->wholeInvalid = true;
        return;
    case ShowCommand::Minimize:
        SDL_MinimizeWindow(w->sdl);
        return;
    case ShowCommand::Maximize:
        SDL_ShowWindow(w->sdl);
        SDL_MaximizeWindow(w->sdl);
        w->invalid = w->wholeInvalid = true;
        return;
    case ShowCommand::Restore:
        SDL_ShowWindow(w->sdl);
        SDL_RestoreWindow(w->sdl);
        w->invalid = w->wholeInvalid = true;
        return;
    }
}

bool isWindowVisible(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) && !(SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_HIDDEN);
}

bool isWindowMinimized(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MINIMIZED);
}

bool isWindowMaximized(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MAXIMIZED);
}

void enableWindow(WindowHandle window, bool enabled) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    w->enabled = enabled;
    // A window that takes no input holds no mouse: the clicks go to the
    // dialog or menu opened over it.
    if (!enabled && loop().capture == w->handle)
        releaseMouseCapture();
}

bool isWindowEnabled(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && w->enabled;
}

void bringWindowToFront(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    // A hidden (tray) or minimised window stays so: raising is not restoring.
    const uint32_t flags = SDL_GetWindowFlags(w->sdl);
    if (!(flags & SDL_WINDOW_SHOWN) || (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)))
        return;
    SDL_RaiseWindow(w->sdl);
}

bool isForegroundWindow(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w && w->focused;
}

void setWindowTitle(WindowHandle window, const char* title) {
    if (WindowState* w = findWindow(window))
        SDL_SetWindowTitle(w->sdl, title ? title : "");
}

std::string windowTitle(WindowHandle window) {
    WindowState* w = findWindow(window);
    const char* title = w ? SDL_GetWindowTitle(w->sdl) : nullptr;
    return title ? title : "";
}

uint32_t windowSystemId(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w ? w->sdlId : 0;
}

uint64_t x11WindowId(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w)
        return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11)
        return 0;
    return static_cast<uint64_t>(info.info.x11.window);
}

void setWindowIcon(WindowHandle window, const uint32_t* argb, int size) {
    WindowState* w = findWindow(window);
    if (!w || !argb || size <= 0 || size > 1024)
        return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), size, size, 32, size * 4,
                                                              SDL_PIXELFORMAT_ARGB8888);
    if (!surface)
        return;
    SDL_SetWindowIcon(w->sdl, surface);
    SDL_FreeSurface(surface);
}

WindowRect windowRect(WindowHandle window) {
    WindowRect r;
    if (WindowState* w = findWindow(window)) {
        windowPosition(w, &r.x, &r.y);
        SDL_GetWindowSizeInPixels(w->sdl, &r.width, &r.height);
    }
    return r;
}

void setWindowRect(WindowHandle window, const WindowRect& rect) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    SDL_SetWindowSize(w->sdl, std::clamp(toPoints(w, rect.width), 1, 16384),
                      std::clamp(toPoints(w, rect.height), 1, 16384));
    if (canPlaceWindows())
        SDL_SetWindowPosition(w->sdl, rect.x, rect.y);
}

void setWindowMinimumSize(WindowHandle window, int width, int height) {
    if (WindowState* w = findWindow(window))
        SDL_SetWindowMinimumSize(w->sdl, std::clamp(toPoints(w, width), 1, 16384),
                                 std::clamp(toPoints(w, height), 1, 16384));
}

void windowMinimumSize(WindowHandle window, int* width, int* height) {
    int mw = 0, mh = 0;
    if (WindowState* w = findWindow(window)) {
        SDL_GetWindowMinimumSize(w->sdl, &mw, &mh);
        mw = toPixels(w, mw);
        mh = toPixels(w, mh);
    }
    if (width)
        *width = mw;
    if (height)
        *height = mh;
}

void clientSize(WindowHandle window, int* width, int* height) {
    int cw = 0, ch = 0;
    if (WindowState* w = findWindow(window))
        SDL_GetWindowSizeInPixels(w->sdl, &cw, &ch);
    if (width)
        *width = cw;
    if (height)
        *height = ch;
}

bool canPlaceWindows() { return windowSystemDriver() != "wayland"; }

std::vector<WindowRect> displayBounds() {
    std::vector<WindowRect> list;
    if (!loop().ready)
        return list;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count && i < 64; ++i) {
        SDL_Rect r;
        if (SDL_GetDisplayUsableBounds(i, &r) != 0 || r.w <= 0 || r.h <= 0)
            continue;
        if (loop().wayland) {
            // Logical points; windows are sized in pixels.
            const float k = loop().waylandScale;
            r.w = static_cast<int>(std::lround(r.w * k));
            r.h = static_cast<int>(std::lround(r.h * k));
        }
        list.push_back({r.x, r.y, r.w, r.h});
    }
    return list;
}

int windowDisplayDpi(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w ? windowDpi(w) : 0;
}

float windowDpiScale(WindowHandle window) {
    (void)window;
    return dpiScale();
}

bool cursorScreenPosition(int* x, int* y) {
    if (!loop().ready)
        return false;
    SDL_GetGlobalMouseState(x, y);
    return true;
}

void screenToClient(WindowHandle window, int* x, int* y) {
    if (WindowState* w = findWindow(window)) {
        int wx = 0, wy = 0;
        windowPosition(w, &wx, &wy);
        *x -= wx;
        *y -= wy;
    }
}

void startWindowMove(WindowHandle window) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    // The press now belongs to the window manager; the window will not see
    // its release.
    w->leftDown = false;
    if (loop().observer && loop().observer->moveRequested) {
        loop().observer->moveRequested(window);
        return;
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    Display* display = info.info.x11.display;
    const Window xwindow = info.info.x11.window;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, xwindow, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
        return;
    XUngrabPointer(display, CurrentTime);
    // SDL counts the button as held until it sees a release; the release goes
    // to the window manager now, so tell SDL here, or it would ignore the
    // next press (and with it the double click).
    XEvent release{};
    release.xbutton.type = ButtonRelease;
    release.xbutton.display = display;
    release.xbutton.window = xwindow;
    release.xbutton.root = root;
    release.xbutton.x = winX;
    release.xbutton.y = winY;
    release.xbutton.x_root = rootX;
    release.xbutton.y_root = rootY;
    release.xbutton.button = Button1;
    release.xbutton.state = Button1Mask;
    release.xbutton.same_screen = True;
    release.xbutton.time = CurrentTime;
    XSendEvent(display, xwindow, False, ButtonReleaseMask, &release);
    XEvent move{};
    move.xclient.type = ClientMessage;
    move.xclient.window = xwindow;
    move.xclient.message_type = XInternAtom(display, "_NET_WM_MOVERESIZE", False);
    move.xclient.format = 32;
    move.xclient.data.l[0] = rootX;
    move.xclient.data.l[1] = rootY;
    move.xclient.data.l[2] = 8;  // _NET_WM_MOVERESIZE_MOVE
    move.xclient.data.l[3] = Button1;
    move.xclient.data.l[4] = 1;  // a normal application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &move);
    XFlush(display);
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

void postQuitMessage() { loop().quitPosted = true; }
bool isQuitPosted() { return loop().quitPosted; }
void clearQuitMessage() { loop().quitPosted = false; }

uint64_t messageLoopsRun() { return loop().loopsRun; }

bool runMessageLoopUntil(const bool& done) {
    ++loop().loopsRun;
    while (!done) {
        if (loop().quitPosted)
            return false;
        runOnePass(100);
    }
    return true;
}

bool pumpMessages(int waitMs) {
    ++loop().loopsRun;
    if (loop().quitPosted)
        return false;
    runOnePass(std::max(waitMs, 0));
    return !loop().quitPosted;
}

}  // namespace qv
