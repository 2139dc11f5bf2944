#pragma once
// Top-level windows and the GUI thread's message loop.
//
// The interface keeps the message model the user interface is written for:
// every window has a window procedure that receives numbered messages with a
// wParam and an lParam; application messages (kWmApp and up) can be posted to
// a window from any thread; timers, painting and input arrive as messages;
// message loops nest (a modal dialog runs its own loop inside a handler).
//
// Threads: the thread that calls windowSystemInit is the GUI thread. Every
// function here is for the GUI thread only, except postWindowMessage.
//
// The implementation (Window.cpp) runs on SDL2; nothing outside the platform
// folder sees SDL.

#include "platform/graphics/Geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class DrawContext;
struct PlatformWindow;                 // opaque
using WindowHandle = PlatformWindow*;  // GUI thread only, except postWindowMessage

// Message numbers.
inline constexpr uint32_t kWmDestroy = 0x0002, kWmSize = 0x0005, kWmActivate = 0x0006, kWmPaint = 0x000F,
                          kWmClose = 0x0010, kWmKeyDown = 0x0100, kWmKeyUp = 0x0101, kWmChar = 0x0102,
                          kWmSysKeyDown = 0x0104, kWmTimer = 0x0113, kWmMouseMove = 0x0200,
                          kWmLButtonDown = 0x0201, kWmLButtonUp = 0x0202, kWmLButtonDblClk = 0x0203,
                          kWmRButtonDown = 0x0204, kWmRButtonUp = 0x0205, kWmMouseWheel = 0x020A,
                          kWmCaptureChanged = 0x0215, kWmDisplayChanged = 0x007E, kWmShowFailed = 0x0090,
                          kWmHotKey = 0x0312, kWmApp = 0x8000;
// Virtual keys; letters are 'A'..'Z' (65..90), digits '0'..'9'.
inline constexpr int kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkShift = 16, kVkControl = 17, kVkMenu = 18,
                     kVkEscape = 27, kVkSpace = 32, kVkPrior = 33, kVkNext = 34, kVkEnd = 35, kVkHome = 36,
                     kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40, kVkDelete = 46, kVkF1 = 112;
// Flags in the wParam of mouse messages.
inline constexpr uintptr_t kMkLButton = 1, kMkRButton = 2, kMkShift = 4, kMkControl = 8;
// kWmSize wParam.
inline constexpr uintptr_t kSizeRestored = 0, kSizeMinimized = 1, kSizeMaximized = 2;

// Message parameter layout:
// - mouse messages: lParam = client x (low 16 bits, signed) and y (high 16
//   bits, signed) in pixels; wParam = kMk* flags. kWmMouseWheel: the high 16
//   bits of wParam are the signed delta in steps of 120 per notch (positive
//   away from the user), the point is where the pointer is, in client pixels.
// - kWmKeyDown/kWmKeyUp/kWmSysKeyDown: wParam = virtual key (Alt held gives
//   kWmSysKeyDown). kWmChar: wParam = the Unicode code point of typed text
//   (printable text only: never 8, 9, 13, 27 or another control character).
// - kWmSize: wParam kSize*, lParam = width | height << 16 (client pixels).
// - kWmActivate: wParam 1 when the window got the keyboard focus, 0 lost.
// - kWmHotKey: wParam = the id given to registerHotKey.
// - kWmTimer: wParam = timer id.
// - kWmDisplayChanged: the DPI the desktop asks for changed (a new Xft.dpi
//   on X11, or the window is on an output of another scale on Wayland);
//   wParam = the new DPI (windowDisplayDpi), lParam = kDpiChangeSizeFollowed
//   when the window's size in pixels has already followed the new scale
//   (the owner only lays out again), else 0 (the owner resizes the window).
// - kWmShowFailed: a dialog window was shown but no frame of it reached the
//   screen within kShowLimitMs (the window system gave it no surface, or
//   every frame failed); lastWindowError() says why. Sent once; the owner
//   closes the window (a modal loop waiting on it would wait for ever).
inline constexpr uint64_t kShowLimitMs = 6000;
inline constexpr intptr_t kDpiChangeSizeFollowed = 1;
inline intptr_t makePointParam(int x, int y) {
    return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
inline int pointParamX(intptr_t lParam) { return static_cast<int16_t>(static_cast<uint32_t>(lParam) & 0xFFFFu); }
inline int pointParamY(intptr_t lParam) { return static_cast<int16_t>(static_cast<uint32_t>(lParam) >> 16); }
inline int wheelDelta(uintptr_t wParam) { return static_cast<int16_t>(static_cast<uint32_t>(wParam) >> 16); }
inline uintptr_t makeWheelParam(int delta, uintptr_t flags) {
    return (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) | (flags & 0xFFFFu);
}

// The window procedure. Its result is returned by sendWindowMessage; for
// kWmClose a non-zero result means "handled" (otherwise the window is
// destroyed). Messages for a window arrive only while it exists.
using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                void* user);

enum class WindowKind : uint8_t {
    Main,    // borderless, resizable by a thin border, in the task bar
    Dialog,  // decorated by the window manager, fixed size, transient for its owner
    Popup,   // undecorated menu window above its owner, not in the task bar
};

inline constexpr int kWindowPositionDefault = -0x7FFF;  // let the system place it
inline constexpr int kWindowPositionCentered = -0x7FFE;  // centred on the first display

struct WindowOptions {
    WindowKind kind = WindowKind::Main;
    const char* title = "";
    int x = kWindowPositionDefault;  // outer position, screen pixels
    int y = kWindowPositionDefault;
    int width = 640;                 // client size, pixels
    int height = 480;
    WindowHandle owner = nullptr;
    bool visible = true;             // false: created hidden (showWindow later)
    int minWidth = 0;                // smallest client size the user can resize to; 0: none
    int minHeight = 0;
    WindowProc proc = nullptr;
    void* user = nullptr;
};

// Main thread, before any other thread starts: sets what the window system
// reads from the process environment (the window class).
void prepareWindowSystem();
// Starts the video subsystem. False when no display can be opened (no
// DISPLAY/WAYLAND_DISPLAY, or the server refused us); `error` says why.
// SDL_VIDEODRIVER chooses the driver ("offscreen" and "dummy" for tests).
bool windowSystemInit(std::string* error = nullptr);
// Destroys the windows still open and, with endVideo, ends the video
// subsystem. The program keeps it to the end of the process: the display
// libraries SDL loads free some of their memory only while loaded.
void windowSystemShutdown(bool endVideo = true);
bool windowSystemReady();
// True once the connection to the display server failed (the X server
// ended). Nothing ends the process for it: the window system posts the quit
// message, so every message loop ends, and windows can then only be
// destroyed. Protocol errors (a request for a window that has just gone)
// are logged once per kind and ignored. Any thread.
bool windowSystemLost();
// The video driver in use ("x11", "wayland", "offscreen", ...); empty before init.
std::string windowSystemDriver();
// Whether the window system draws dialogs' frames (title and close button):
// on X11 the window manager does; on Wayland only a compositor that offers
// to (xdg decorations). Where it does not, a dialog draws a caption itself.
bool windowSystemFramesDialogs();
// Whether a press at (x, y), client pixels, is on the window's own caption,
// where it moves the window.
using CaptionTest = bool (*)(int x, int y, void* user);
// On Wayland a window can be moved only from the press itself, before the
// window sees it: a window that draws its own caption names it here. A press
// there then moves the window through the compositor and does not reach the
// window, except the second press of a double click, which arrives as
// kWmLButtonDblClk. On X11 nothing changes (startWindowMove moves a window
// from a press it has seen). Null: none.
void setWindowCaptionTest(WindowHandle window, CaptionTest test, void* user);
// What the last windowSystemInit chose that the user should hear of (a
// Wayland session whose window uses X11 through Xwayland, and why); empty
// when nothing.
std::string windowSystemNote();
// The logical DPI the desktop asks for (the user's scale, 96 at 100 %; never
// the screen's physical density): QUORVANE_DPI when set, else on Wayland the
// outputs' scale times 96, on X11 the display's Xft.dpi (followed while the
// program runs), else 96.
int desktopDpi();
// Any thread: frames presented on any window so far.
uint64_t presentedFrameCount();

// Creates the window with its drawing target. Sizes are drawing pixels, here
// and in every function below (SDL's window coordinates are points on a
// scaled Wayland output: the layer converts). Null when the window or its
// target cannot be made; lastWindowError() says why.
WindowHandle createWindow(const WindowOptions& options);
// Sends kWmDestroy, then frees the window and drops messages and timers
// still meant for it. Nothing for null or an unknown handle.
void destroyWindow(WindowHandle window);
bool isWindow(WindowHandle window);
std::string lastWindowError();

// Calls the window procedure now; 0 when the window does not exist.
intptr_t sendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Any thread. Queues the message for the window's procedure and wakes the
// GUI thread. False when the window is gone or the queue is full.
bool postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Timers never pile up: a due timer is delivered once, and the next period
// starts when it was delivered. Setting an existing id restarts it.
bool setWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMs);
void killWindowTimer(WindowHandle window, uint32_t id);
bool hasWindowTimer(WindowHandle window, uint32_t id, uint32_t* periodMs = nullptr);

// Painting: an invalid window gets one kWmPaint when the loop has no other
// message waiting. Inside kWmPaint the procedure draws between
// beginWindowPaint and endWindowPaint. The window's drawing target keeps the
// last frame: invalidateWindow asks for the whole window to be drawn again
// (so do resizes, exposures and a new target); requestWindowPaint only asks
// for a kWmPaint, in which a procedure that knows what changed draws and
// presents only that.
void invalidateWindow(WindowHandle window);
void requestWindowPaint(WindowHandle window);
void updateWindow(WindowHandle window);  // paint now when invalid
// The context to draw the frame with (cleared by nobody); null when the
// window has no usable target. A target that was lost is made again here, so
// a failure is retried on every later paint. `whole` (when given) is set true
// when the frame must be drawn whole: the window was invalidated, or its
// target is new or was resized (its image holds no earlier frame). When it is
// false the image still holds the last frame.
DrawContext* beginWindowPaint(WindowHandle window, bool* whole = nullptr);
// Ends the frame and shows it: the given rectangles of it, or all of it when
// there are none (see presentWindowTarget); false when drawing failed (the
// target is dropped and rebuilt at the next beginWindowPaint, and the next
// frame is whole).
bool endWindowPaint(WindowHandle window, const PixelRect* rects = nullptr, int count = 0);

// Showing and state.
enum class ShowCommand : uint8_t { Hide, Show, Minimize, Maximize, Restore };
void showWindow(WindowHandle window, ShowCommand command);
bool isWindowVisible(WindowHandle window);
bool isWindowMinimized(WindowHandle window);
bool isWindowMaximized(WindowHandle window);
// A disabled window gets no input (mouse, keys, characters, wheel) and its
// close requests from the window system are dropped; posted messages, timers
// and paints still arrive.
void enableWindow(WindowHandle window, bool enabled);
bool isWindowEnabled(WindowHandle window);
// Raises a shown window and asks for the keyboard focus; a hidden or
// minimised window is left as it is (showWindow restores).
void bringWindowToFront(WindowHandle window);
// True while the window has the keyboard focus (as the focus events said).
bool isForegroundWindow(WindowHandle window);
void setWindowTitle(WindowHandle window, const char* title);
std::string windowTitle(WindowHandle window);
// The window system's own id of the window (tests address events with it); 0 when gone.
uint32_t windowSystemId(WindowHandle window);
// The X11 window id, for another program's window (a file dialog) to be
// owned by ours; 0 when gone or not on X11.
uint64_t x11WindowId(WindowHandle window);
// Straight (not premultiplied) ARGB32 pixels, size x size.
void setWindowIcon(WindowHandle window, const uint32_t* argb, int size);

struct WindowRect {
    int x = 0;  // outer position, screen pixels
    int y = 0;
    int width = 0;  // client size, pixels
    int height = 0;
};
WindowRect windowRect(WindowHandle window);
// Where windows can be placed, the window is kept inside the work area of
// the display holding the rectangle's centre, the window manager's frame
// included: it is moved, never resized (one larger than the area keeps its
// top-left corner inside).
void setWindowRect(WindowHandle window, const WindowRect& rect);
void clientSize(WindowHandle window, int* width, int* height);
// The smallest client size the user can resize to (pixels).
void setWindowMinimumSize(WindowHandle window, int width, int height);
void windowMinimumSize(WindowHandle window, int* width, int* height);
// True when windows can place themselves (not on Wayland).
bool canPlaceWindows();
// True when a minimised window can be restored by the program. Native
// Wayland has no such request (only the compositor restores a window).
bool canRestoreMinimized();
// Usable bounds of every display (screen pixels); empty when none is known.
std::vector<WindowRect> displayBounds();
// The DPI to lay the window out for: desktopDpi(), on Wayland the scale of
// the window's output; 0 for an unknown window.
int windowDisplayDpi(WindowHandle window);
// The layout scale used for the window (the interface's current DPI / 96).
float windowDpiScale(WindowHandle window);
// Pointer position in screen pixels; false when unknown.
bool cursorScreenPosition(int* x, int* y);
// Converts a screen point to the window's client pixels.
void screenToClient(WindowHandle window, int* x, int* y);

// Asks the window manager to move the window with the pressed left button
// (called from a left-button-down handler). The following clicks still
// arrive, so a double click is seen. X11 only; elsewhere nothing happens.
void startWindowMove(WindowHandle window);

// Mouse capture: while set, mouse messages go to that window even outside it.
// Only an enabled window takes it; disabling the window releases it.
void setMouseCapture(WindowHandle window);
void releaseMouseCapture();
WindowHandle mouseCaptureWindow();
bool isShiftDown();  // keyboard state as the GUI thread has seen it
bool isControlDown();

// Desktop-wide shortcuts (X11 only): while registered, the key combination
// reaches `window` as kWmHotKey (wParam = id) whichever window has the
// keyboard focus, the window's own included (it then gets no key message for
// it). `modifiers` are kHotKey* flags, `virtualKey` a letter 'A'..'Z'. False,
// with lastWindowError, where the window system has no such shortcuts
// (Wayland, the offscreen drivers) or another program holds the combination.
// A window's shortcuts end with the window and all of them with
// windowSystemShutdown.
inline constexpr uint32_t kHotKeyAlt = 1, kHotKeyControl = 2, kHotKeyShift = 4;
bool registerHotKey(WindowHandle window, int id, uint32_t modifiers, int virtualKey);
void unregisterHotKey(WindowHandle window, int id);

// Message loops. postQuitMessage ends the innermost loop and, because the
// request stays posted, every enclosing loop after it; a loop that sees it
// returns false and leaves it posted so its caller passes it on.
void postQuitMessage();
bool isQuitPosted();
void clearQuitMessage();  // the GUI thread's owner, before it runs again
// How many message loops (runMessageLoopUntil, pumpMessages) were entered so
// far: a handler that compares it before and after knows whether it ran a
// nested loop (a dialog, a menu, a file dialog's wait).
uint64_t messageLoopsRun();
// How many loop passes ran so far, over every loop: each pass waits at most
// once, so an idle loop's count stays put until something wakes it.
uint64_t messageLoopPasses();
// Dispatches messages until `done` becomes true (returns true) or a quit is
// posted (returns false).
bool runMessageLoopUntil(const bool& done);
// Dispatches what is waiting, waiting at most waitMs for the first message;
// false when a quit is posted.
bool pumpMessages(int waitMs);

// Test seam. moveRequested is called instead of the window-manager request
// by startWindowMove; showRequested before every showWindow (the dummy video
// driver keeps no maximised or minimised state). Null restores normal work.
struct WindowSystemObserver {
    void (*moveRequested)(WindowHandle window) = nullptr;
    void (*showRequested)(WindowHandle window, ShowCommand command) = nullptr;
};
void setWindowSystemObserver(const WindowSystemObserver* observer);
// Test seam: drops the window's drawing target as a lost device would; the
// next paint makes it again.
void loseWindowTarget(WindowHandle window);
bool hasWindowTarget(WindowHandle window);
// Test seam: no drawing target can be made for the window from now on, as
// when the window system gives it no surface.
void refuseWindowTarget(WindowHandle window);

}  // namespace qv
