// Windows and the message loop on SDL2.
//
// The window layer's pieces, all behind Window.h (their shared records and
// functions in WindowInternal.h, namespace qv::window_detail):
//   Window.cpp         window records and look-ups, starting and ending the
//                      window system, the window functions
//   WindowLoop.cpp     the cross-thread post queue and its wake-up, the GUI
//                      thread's own wait on the X connection, timers, paint
//                      scheduling, the loop passes and nested loops
//   WindowInput.cpp    SDL event translation (keys, mouse, text, double
//                      clicks), mouse capture, resize hit-testing
//   WindowDpi.cpp      DPI following: pixel ratios, the desktop's Xft.dpi
//   WindowX11.cpp      X11 only: SDL's display connection, window positions
//                      from the server, window moves (_NET_WM_MOVERESIZE)
//   WindowWayland.cpp  Wayland only: the input-seat probe and the probe
//                      window that decide the fallback to X11

#include "platform/WindowInternal.h"

#include "platform/Output.h"
#include "platform/X11Errors.h"
#include "platform/XSettings.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/WindowTarget.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/eventfd.h>

namespace qv {

using namespace window_detail;

// ---- state and look-ups ----------------------------------------------------

namespace window_detail {

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

void setError(std::string text) { loop().lastError = std::move(text); }

int toPixels(const WindowState* w, int v) { return static_cast<int>(std::lround(v * w->pixelRatio)); }
int toPoints(const WindowState* w, int v) { return static_cast<int>(std::lround(v / w->pixelRatio)); }

}  // namespace window_detail

namespace {

// The next window's handle: a count, so no two windows of the process ever
// share one.
WindowHandle newWindowHandle() {
    static uintptr_t count = 0;
    ++count;
    return reinterpret_cast<WindowHandle>(count << 4);
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
    // Every window draws its own caption or needs none: SDL's libdecor path
    // (its frames are for windows the compositor does not decorate) is left
    // out, which also keeps libdecor's "No plugins found" lines off the
    // console. In SDL 2.26 that path crashes in its configure handler once a
    // second toplevel (a dialog) has come and gone and the main window is
    // maximised or resized; SDL's plain xdg-shell path has no such fault.
    // Over the environment too: SDL_VIDEO_WAYLAND_ALLOW_LIBDECOR=1 would
    // bring the crash back.
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0", SDL_HINT_OVERRIDE);
    loop().note.clear();
    loop().wayland = false;
    loop().waylandScale = 1.0f;
    // Native Wayland is used only when asked for (SDL prefers X11 through
    // Xwayland). When it cannot give a window that draws, X11 through
    // Xwayland does, where there is one.
    // SDL tries X11 first, then Wayland: without DISPLAY an unset driver
    // means Wayland too, whose start needs the seat as well.
    const bool askedWayland = explicitDriver ? std::strcmp(requested, "wayland") == 0
                                             : !(display && *display) && wayland && *wayland;
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
        watchX11Events();
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
    releaseHotKeys(nullptr);
    while (!loop().windows.empty()) {
        WindowState* w = loop().windows.back().get();
        if (w->destroying || w->destroyStarted) {
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
        unwatchX11Events();
        if (loop().x11) {
            gOwnWait.store(false);
            unwatchX11Connection(loop().x11);
            loop().x11 = nullptr;
        }
        loop().waylandDisplay = nullptr;
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

bool windowSystemFramesDialogs() { return !loop().wayland || loop().waylandFrames; }

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
        // SDL 2.26 makes a popup-menu window an xdg_popup whose positioner
        // has no size and no anchor: the compositor ends the whole connection
        // for it. On Wayland a menu is a borderless child toplevel instead,
        // placed by the shell over its owner.
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR;
        if (!loop().wayland)
            flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_ALWAYS_ON_TOP;
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
    adoptX11Connection(sdl);
    adoptWaylandConnection(sdl);
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
    if (WindowState* owner = findWindow(options.owner); owner && options.kind != WindowKind::Main) {
        // On Wayland the window has no toplevel before it is shown: the
        // parent is set then (setWaylandParent).
        window->owner = owner->handle;
        if (!loop().wayland && options.kind == WindowKind::Dialog)
            SDL_SetWindowModalFor(sdl, owner->sdl);
    }
    WindowState* raw = window.get();
    setHitTest(raw);
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
    // Destroyed again from a handler of its own kWmDestroy: the outer call
    // goes on with the record, so this one does nothing.
    if (!w || w->destroyStarted)
        return;
    w->destroyStarted = true;
    releaseHotKeys(w->handle);
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
    // With the X server gone SDL would wait for ever for the unmap it asks
    // for while hiding the window: its record is left to the process's end.
    if (!gDisplayLost.load()) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        Display* x11 =
            SDL_GetWindowWMInfo(w->sdl, &info) && info.subsystem == SDL_SYSWM_X11 ? info.info.x11.display : nullptr;
        SDL_DestroyWindow(w->sdl);
        if (x11)
            XFlush(x11);
    }
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

void refuseWindowTarget(WindowHandle window) {
    if (WindowState* w = findWindow(window)) {
        w->targetRefused = true;
        destroyWindowTarget(&w->target);
        w->targetLost = true;
        w->invalid = w->wholeInvalid = true;
    }
}

intptr_t sendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WindowState* w = findWindow(window);
    if (!w || !w->proc)
        return 0;
    return w->proc(w->handle, message, wParam, lParam, w->user);
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
        w->showSinceMs = 0;
        SDL_HideWindow(w->sdl);
        endCountedHold(w);
        return;
    case ShowCommand::Show: {
        int ownWidth = 0, ownHeight = 0;  // a dialog's size before the shell's first configure
        SDL_GetWindowSize(w->sdl, &ownWidth, &ownHeight);
        SDL_ShowWindow(w->sdl);
        w->invalid = w->wholeInvalid = true;
        if (w->kind != WindowKind::Main && loop().wayland)
            setWaylandParent(w, ownWidth, ownHeight);
        if (w->kind == WindowKind::Dialog) {
            if (w->showSinceMs == 0)
                w->showSinceMs = std::max<uint64_t>(nowMs(), 1);
        }
        return;
    }
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

namespace {

// The rectangle (client area) moved so that the window with the window
// manager's frame lies inside the work area of the display holding its
// centre (the first display when none does); the size is the caller's. SDL
// places the client area, so a window put at the area's top edge would have
// its title bar above the screen. The frame's extents come from the window
// manager: each is taken as at most a quarter of the area.
WindowRect insideWorkArea(const WindowState* w, WindowRect r) {
    const std::vector<WindowRect> displays = displayBounds();
    if (displays.empty())
        return r;
    const int cx = r.x + r.width / 2, cy = r.y + r.height / 2;
    WindowRect area = displays.front();
    for (const WindowRect& d : displays)
        if (cx >= d.x && cx < d.x + d.width && cy >= d.y && cy < d.y + d.height)
            area = d;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(w->sdl, &top, &left, &bottom, &right) != 0)
        top = left = bottom = right = 0;
    top = std::clamp(top, 0, area.height / 4);
    bottom = std::clamp(bottom, 0, area.height / 4);
    left = std::clamp(left, 0, area.width / 4);
    right = std::clamp(right, 0, area.width / 4);
    // A window larger than the area keeps its top-left corner (and with it
    // the title bar) inside.
    r.x = std::max(area.x + left, std::min(r.x, area.x + area.width - right - r.width));
    r.y = std::max(area.y + top, std::min(r.y, area.y + area.height - bottom - r.height));
    return r;
}

}  // namespace

WindowRect windowRect(WindowHandle window) {
    WindowRect r;
    if (WindowState* w = findWindow(window)) {
        windowPosition(w, &r.x, &r.y);
        SDL_GetWindowSizeInPixels(w->sdl, &r.width, &r.height);
    }
    return r;
}

void setWindowRect(WindowHandle window, const WindowRect& asked) {
    WindowState* w = findWindow(window);
    if (!w)
        return;
    const WindowRect rect = canPlaceWindows() ? insideWorkArea(w, asked) : asked;
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

bool canRestoreMinimized() { return windowSystemDriver() != "wayland"; }

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

}  // namespace qv
