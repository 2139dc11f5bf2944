// X11 only: SDL's display connection taken from the first window (watched,
// so its loss does not end the process), window positions asked of the X
// server, the native window id, and window moves handed to the window
// manager through _NET_WM_MOVERESIZE.

#include "platform/WindowInternal.h"

#include "platform/X11Errors.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace qv {

using namespace window_detail;

namespace {

void onDisplayLost(void*) { gDisplayLost.store(true); }

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

}  // namespace window_detail

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
