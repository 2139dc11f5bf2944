// X11 only: SDL's display connection taken from the first window (watched,
// so its loss does not end the process), window positions asked of the X
// server, the native window id, window moves handed to the window manager
// through _NET_WM_MOVERESIZE, SDL's count of the held left button put right
// (an X event filter), the keyboard focus handed to a dialog, and
// desktop-wide shortcuts (passive key grabs on the root window).

#include "platform/WindowInternal.h"

#include "platform/X11Errors.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>

namespace qv {

using namespace window_detail;

namespace {

void onDisplayLost(void*) { gDisplayLost.store(true); }

// The window's X connection and id; false on other drivers.
bool x11Of(const WindowState* w, Display** display, Window* window) {
    if (!w || !w->sdl || gDisplayLost.load())
        return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display)
        return false;
    *display = info.info.x11.display;
    *window = info.info.x11.window;
    return true;
}

// ---- SDL's count of the held left button ---------------------------------
//
// SDL drops a press while it counts the button as held, and it counts it
// from the presses and releases it reads, nothing else. A window hidden or
// minimised on a press loses the implicit grab with it, so the release goes
// to another window and SDL would drop the next press on any of ours. The
// filter sees each X event as SDL reads it, before SDL acts on it (SDL sends
// its window-system event first), and after an unmapping that leaves the
// button counted it puts a release (and the pointer's leaving) at the head of
// Xlib's queue: SDL reads them next, before anything that came after the
// unmapping. SDL_HideWindow takes its own window's UnmapNotify out of the
// queue unseen, so a hide does the same itself (endCountedHold).

bool gSdlCountsLeftHeld = false;  // GUI thread (SDL reads X events there)

// The release, then the pointer leaving the window (it is no longer under
// the pointer): SDL takes the release as the pointer's entering the window
// at the last place SDL knew, and, never told it left, would not take the
// next real entering as a move either, so the first press after the window
// came back would count at that old place (on the minimise button again).
void putBackLeftRelease(Display* display, Window xwindow) {
    XEvent leave{};
    leave.xcrossing.type = LeaveNotify;
    leave.xcrossing.display = display;
    leave.xcrossing.window = xwindow;
    leave.xcrossing.root = DefaultRootWindow(display);
    leave.xcrossing.x = leave.xcrossing.y = -1;
    leave.xcrossing.mode = NotifyNormal;
    leave.xcrossing.detail = NotifyNonlinear;
    leave.xcrossing.same_screen = True;
    leave.xcrossing.time = CurrentTime;
    XPutBackEvent(display, &leave);
    XEvent release{};
    release.xbutton.type = ButtonRelease;
    release.xbutton.display = display;
    release.xbutton.window = xwindow;
    release.xbutton.root = DefaultRootWindow(display);
    release.xbutton.button = Button1;
    release.xbutton.state = Button1Mask;
    release.xbutton.same_screen = True;
    release.xbutton.time = CurrentTime;
    XPutBackEvent(display, &release);
}

bool isHotKeyPress(const XEvent& x);

// SDL's event filter on X11: follows the button count, keeps the key
// presses of the desktop-wide shortcuts for the loop and drops every other
// window-system event (the loop has no use for them).
int SDLCALL filterX11Event(void*, SDL_Event* e) {
    if (e->type != SDL_SYSWMEVENT)
        return 1;
    if (!e->syswm.msg || e->syswm.msg->subsystem != SDL_SYSWM_X11)
        return 0;
    const XEvent& x = e->syswm.msg->msg.x11.event;
    switch (x.type) {
    case ButtonPress:
        if (x.xbutton.button == Button1)
            gSdlCountsLeftHeld = true;
        return 0;
    case ButtonRelease:
        if (x.xbutton.button == Button1)
            gSdlCountsLeftHeld = false;
        return 0;
    case UnmapNotify:
        if (gSdlCountsLeftHeld && x.xany.display) {
            putBackLeftRelease(x.xany.display, x.xunmap.window);
            loop().ownReleasePending = true;
        }
        return 0;
    case KeyPress:
        return isHotKeyPress(x) ? 1 : 0;
    default:
        return 0;
    }
}

// ---- desktop-wide shortcuts --------------------------------------------------

// Protocol errors of the grab requests, caught while they are checked; every
// other error goes to the process's handler.
Display* gGrabDisplay = nullptr;
bool gGrabRefused = false;
XErrorHandler gOuterHandler = nullptr;

int onGrabError(Display* display, XErrorEvent* error) {
    if (display == gGrabDisplay && error->request_code == X_GrabKey) {
        gGrabRefused = true;
        return 0;
    }
    return gOuterHandler ? gOuterHandler(display, error) : 0;
}

// The modifier bit Num Lock is on (0 when none).
unsigned numLockMask(Display* display) {
    unsigned mask = 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map)
        return 0;
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[modifier * map->max_keypermod + k] == numLock)
                mask = 1u << modifier;
    XFreeModifiermap(map);
    return mask;
}

// Caps Lock and Num Lock do not change a shortcut: it is grabbed with each
// combination of them.
std::array<unsigned, 4> lockVariants(Display* display) {
    const unsigned num = numLockMask(display);
    return {0u, static_cast<unsigned>(LockMask), num, LockMask | num};
}

// The registered shortcut a key press on the root window is, or null.
const LoopState::HotKey* hotKeyOf(const XEvent& x) {
    if (x.type != KeyPress || !x.xkey.display || x.xkey.window != DefaultRootWindow(x.xkey.display))
        return nullptr;
    const unsigned modifiers = x.xkey.state & (ShiftMask | ControlMask | Mod1Mask);
    for (const LoopState::HotKey& key : loop().hotKeys)
        if (key.keycode == x.xkey.keycode && key.modifiers == modifiers)
            return &key;
    return nullptr;
}

bool isHotKeyPress(const XEvent& x) { return hotKeyOf(x) != nullptr; }

void ungrab(Display* display, const LoopState::HotKey& key) {
    for (unsigned extra : lockVariants(display))
        XUngrabKey(display, static_cast<int>(key.keycode), key.modifiers | extra, DefaultRootWindow(display));
}

}  // namespace

namespace window_detail {

void adoptX11Connection(SDL_Window* sdl) {
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

void watchX11Events() {
    gSdlCountsLeftHeld = false;
    SDL_SetEventFilter(filterX11Event, nullptr);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void endCountedHold(WindowState* w) {
    Display* display = nullptr;
    Window xwindow = 0;
    if (!gSdlCountsLeftHeld || !x11Of(w, &display, &xwindow))
        return;
    putBackLeftRelease(display, xwindow);
    gSdlCountsLeftHeld = false;
    loop().ownReleasePending = true;
}

void unwatchX11Events() {
    SDL_EventState(SDL_SYSWMEVENT, SDL_DISABLE);
    SDL_SetEventFilter(nullptr, nullptr);
}

void takeKeyboardFocus(WindowState* w) {
    if (!w || !w->sdl)
        return;
    SDL_RaiseWindow(w->sdl);
    // A window manager may refuse the request SDL makes (_NET_ACTIVE_WINDOW)
    // as focus stealing; the focus is ours to hand on, so set it.
    Display* display = nullptr;
    Window xwindow = 0;
    if (!x11Of(w, &display, &xwindow))
        return;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, xwindow, &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(display, xwindow, RevertToParent, CurrentTime);
    XFlush(display);
}

void handleHotKeyEvent(const SDL_Event& e) {
    if (!e.syswm.msg || e.syswm.msg->subsystem != SDL_SYSWM_X11)
        return;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (const LoopState::HotKey* key = hotKeyOf(x)) {
        const WindowHandle window = key->window;
        const int id = key->id;
        sendWindowMessage(findWindow(window), kWmHotKey, static_cast<uintptr_t>(id), 0);
    }
}

void releaseHotKeys(WindowHandle window) {
    auto& keys = loop().hotKeys;
    Display* display = loop().x11;
    const auto mine = [window](const LoopState::HotKey& key) { return !window || key.window == window; };
    if (display && !gDisplayLost.load()) {
        for (const LoopState::HotKey& key : keys)
            if (mine(key))
                ungrab(display, key);
        XFlush(display);
    }
    keys.erase(std::remove_if(keys.begin(), keys.end(), mine), keys.end());
}

}  // namespace window_detail

bool registerHotKey(WindowHandle window, int id, uint32_t modifiers, int virtualKey) {
    WindowState* w = findWindow(window);
    Display* display = loop().x11;
    if (!w || !display || gDisplayLost.load()) {
        setError("registerHotKey: desktop-wide shortcuts need a window on X11");
        return false;
    }
    if (virtualKey < 'A' || virtualKey > 'Z') {
        setError("registerHotKey: only letters can be shortcut keys");
        return false;
    }
    const KeyCode keycode = XKeysymToKeycode(display, static_cast<KeySym>(XK_a + (virtualKey - 'A')));
    if (keycode == 0) {
        setError("registerHotKey: the keyboard has no such key");
        return false;
    }
    unregisterHotKey(window, id);
    LoopState::HotKey key;
    key.window = window;
    key.id = id;
    key.keycode = keycode;
    key.modifiers = ((modifiers & kHotKeyAlt) ? Mod1Mask : 0u) | ((modifiers & kHotKeyControl) ? ControlMask : 0u) |
                    ((modifiers & kHotKeyShift) ? ShiftMask : 0u);
    // Another client's grab of the same combination is refused with
    // BadAccess, reported only after a round trip.
    XSync(display, False);
    gGrabDisplay = display;
    gGrabRefused = false;
    gOuterHandler = XSetErrorHandler(onGrabError);
    for (unsigned extra : lockVariants(display))
        XGrabKey(display, keycode, key.modifiers | extra, DefaultRootWindow(display), False, GrabModeAsync,
                 GrabModeAsync);
    XSync(display, False);
    XSetErrorHandler(gOuterHandler);
    gGrabDisplay = nullptr;
    if (gGrabRefused) {
        ungrab(display, key);  // the variants that were granted
        XFlush(display);
        setError("another program holds the key combination");
        return false;
    }
    // The presses come to the root window, which SDL passes on only as
    // window-system events (filterX11Event keeps them).
    loop().hotKeys.push_back(key);
    return true;
}

void unregisterHotKey(WindowHandle window, int id) {
    auto& keys = loop().hotKeys;
    Display* display = loop().x11;
    const auto match = [&](const LoopState::HotKey& key) { return key.window == window && key.id == id; };
    for (const LoopState::HotKey& key : keys)
        if (match(key) && display && !gDisplayLost.load()) {
            ungrab(display, key);
            XFlush(display);
        }
    keys.erase(std::remove_if(keys.begin(), keys.end(), match), keys.end());
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

}  // namespace qv
