// Window layer internals shared by its pieces (Window.cpp lists them): the
// window records, the GUI thread's loop state, the cross-thread post queue
// and the functions the pieces call on each other. Nothing outside
// src/platform/Window*.cpp includes this.
#pragma once

#include "platform/DesktopDpi.h"
#include "platform/Window.h"
#include "platform/graphics/WindowTarget.h"

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

typedef struct _XDisplay Display;  // Xlib's display connection
struct wl_display;                 // libwayland's compositor connection

namespace qv::window_detail {

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
    bool destroyStarted = false;  // destroyWindow runs for it: a second call does nothing
    CaptionTest captionTest = nullptr;  // Wayland: where a press moves the window
    void* captionUser = nullptr;
    uint32_t captionDoubleMs = 0;  // when the hit test let a caption's second press through; 0: none
    float pixelRatio = 1.0f;    // drawing pixels per SDL window coordinate (above 1 on scaled Wayland outputs)
    uint64_t paintNotBeforeMs = 0;  // after a failed present: the next attempt
    WindowHandle owner = nullptr;   // a dialog's parent window
    uint64_t showSinceMs = 0;       // a dialog shown but no frame presented yet: when it was shown
    bool targetRefused = false;     // test seam: no drawing target can be made for it
    std::string paintError;         // why the last frame failed; empty after one was presented
    std::vector<Timer> timers;
};

// ---- the post queue (WindowLoop.cpp) ------------------------------------------

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

PostQueue& postQueue();

extern std::atomic<uint32_t> gWakeEvent;  // SDL's user event that wakes SDL's wait
extern std::atomic<int> gWakeFd;          // X11: the event counter the GUI thread waits on
extern std::atomic<bool> gOwnWait;        // the GUI thread waits on gWakeFd
extern std::atomic<bool> gDisplayLost;    // the X server connection failed

// ---- state and look-ups (Window.cpp) ------------------------------------------

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
    uint64_t passesRun = 0;  // loop passes (each waits at most once)
    std::string lastError;
    std::string note;
    const WindowSystemObserver* observer = nullptr;
    bool wayland = false;
    wl_display* waylandDisplay = nullptr;  // SDL's compositor connection, known from the first window
    bool waylandFrames = false;  // the compositor draws frames on request (xdg decorations)
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
    FirstClick captionPress;  // Wayland: the last press the compositor took for a move
    // X11: a left release the layer gave SDL to end its count of a held
    // button (SDL drops a press while it counts the button as down). Until
    // SDL takes its next left press, a left button-up of a window that holds
    // no press is not passed on.
    bool ownReleasePending = false;
    struct HotKey {
        WindowHandle window = nullptr;
        int id = 0;
        unsigned keycode = 0;
        unsigned modifiers = 0;  // X modifier mask
    };
    std::vector<HotKey> hotKeys;  // X11: the passive grabs on the root window
};

LoopState& loop();
uint64_t nowMs();
WindowState* findWindow(WindowHandle window);
// Calls the window procedure of a record (by its handle, so a record whose
// window was destroyed meanwhile gets nothing).
intptr_t sendWindowMessage(WindowState* w, uint32_t message, uintptr_t wParam, intptr_t lParam);
void setError(std::string text);
// Window coordinates to drawing pixels and back.
int toPixels(const WindowState* w, int v);
int toPoints(const WindowState* w, int v);

// ---- input (WindowInput.cpp) ----------------------------------------------------

void handleEvent(const SDL_Event& e);
// A held left button whose release will not arrive: the window gets the
// button-up all the same.
void endLostHold(WindowState* w);
// SDL's hit test for the window: the main window's resize border, and on
// Wayland the caption a window names (setWindowCaptionTest).
void setHitTest(WindowState* w);

// ---- DPI following (WindowDpi.cpp) ----------------------------------------------

float pixelRatioOf(SDL_Window* window);
void checkPixelRatio(WindowState* w);
void checkDesktopDpi();

// ---- X11 (WindowX11.cpp) ----------------------------------------------------------

// Takes SDL's display connection from the first X11 window.
void adoptX11Connection(SDL_Window* sdl);
void windowPosition(const WindowState* w, int* x, int* y);
// SDL's event filter on X11 (from the start of the video to its end): it
// ends SDL's count of a held left button when the window it was pressed in
// is unmapped (the release goes elsewhere, and SDL would drop the next
// press), and keeps the key presses of the desktop-wide shortcuts.
void watchX11Events();
void unwatchX11Events();
// The same for a window the layer has just hidden (SDL_HideWindow takes the
// window's UnmapNotify itself).
void endCountedHold(WindowState* w);
// Raises the window and gives it the keyboard focus (a dialog over a window
// that takes no input).
void takeKeyboardFocus(WindowState* w);
// A desktop-wide shortcut's key press (SDL_SYSWMEVENT): the window that
// registered it gets kWmHotKey.
void handleHotKeyEvent(const SDL_Event& e);
void releaseHotKeys(WindowHandle window);  // null: every window's

// ---- Wayland (WindowWayland.cpp) --------------------------------------------------

// Also notes whether the compositor frames windows (loop().waylandFrames).
bool waylandHasSeat(std::string* why);
// Makes a shown dialog or menu the child of its owner's toplevel, so the
// compositor keeps it over the owner, at its own size.
void setWaylandParent(WindowState* w, int ownWidth, int ownHeight);
// Notes SDL's compositor connection from a window of it.
void adoptWaylandConnection(SDL_Window* sdl);
// Whether the compositor ended the connection (it went away, or it took a
// request for a protocol error): then marks the display lost.
bool waylandConnectionFailed();
void keepGlLoaded();
bool probeWaylandWindow(std::string* why);

}  // namespace qv::window_detail
