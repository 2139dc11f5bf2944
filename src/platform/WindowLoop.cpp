// The GUI thread's loop: the cross-thread post queue and its wake-up, the
// thread's own wait on the X connection, per-window timers, paint
// scheduling and painting, one loop pass and the nested loops.

#include "platform/WindowInternal.h"

#include "platform/Output.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/WindowTarget.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace qv {

using namespace window_detail;

// ---- the post queue and its wake-up --------------------------------------------

namespace window_detail {

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

}  // namespace window_detail

namespace {

constexpr size_t kMaxPosted = 4096;
constexpr int kMaxEventsPerPass = 512;
constexpr uint64_t kPaintRetryMs = 250;
// A wait without a bound: the loop sleeps until an event, a post or the next
// due timer, paint retry or show limit, so an idle window costs nothing.
constexpr int kWaitUnbounded = -1;
constexpr int kLostDisplayWaitMs = 100;

void wakeGuiThread() {
    if (const int fd = gWakeFd.load(); fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);  // full counter: already awake
    }
}

std::atomic<uint64_t> gPresentedFrames{0};

// ---- timers and painting ---------------------------------------------------

// Milliseconds until the next timer is due, capped at `limit`; with limit
// kWaitUnbounded and nothing due at all, kWaitUnbounded.
int msUntilNextTimer(int limit) {
    const uint64_t now = nowMs();
    constexpr uint64_t kNothingDue = static_cast<uint64_t>(std::numeric_limits<int>::max());
    uint64_t best = limit < 0 ? kNothingDue : static_cast<uint64_t>(limit);
    for (auto& w : loop().windows) {
        if (w->destroying)
            continue;
        for (const auto& t : w->timers)
            best = std::min(best, t.dueMs > now ? t.dueMs - now : 0);
        if (w->invalid && w->paintNotBeforeMs > now)
            best = std::min(best, w->paintNotBeforeMs - now);
        if (w->showSinceMs != 0)
            best = std::min(best, w->showSinceMs + kShowLimitMs > now ? w->showSinceMs + kShowLimitMs - now : 0);
    }
    return limit < 0 && best == kNothingDue ? kWaitUnbounded : static_cast<int>(best);
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
// A dialog shown for kShowLimitMs without one frame on the screen is told
// so (once): its modal loop would otherwise wait for a window nobody sees,
// with its owner disabled.
void checkShowing() {
    const uint64_t now = nowMs();
    std::vector<WindowHandle> failed;
    for (auto& w : loop().windows) {
        if (!w->destroying && w->showSinceMs != 0 && now - w->showSinceMs >= kShowLimitMs) {
            w->showSinceMs = 0;
            failed.push_back(w->handle);
        }
    }
    for (WindowHandle window : failed) {
        WindowState* w = findWindow(window);
        if (!w)
            continue;
        const bool shown = SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN;
        if (!shown)
            setError("the window system did not show it");
        else
            setError(w->paintError.empty() ? std::string("no frame of it reached the screen") : w->paintError);
        sendWindowMessage(w, kWmShowFailed, 0, 0);
    }
}

// ---- dispatching posted messages -------------------------------------------

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
// ---- the loop ---------------------------------------------------------------

// Waits up to waitMs (kWaitUnbounded: as long as it takes) for input on the
// X connection, a post or a new desktop DPI (the DPI watcher's own
// connection); what arrived is then taken with SDL_PollEvent, which never
// sends anything, and by checkDesktopDpi.
void waitOnDisplay(Display* display, int waitMs) {
    if (waitMs != 0 && !gDisplayLost.load()) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
            waitMs = 0;
    }
    pollfd fds[3] = {{gWakeFd.load(), POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    int count = 1;
    if (waitMs != 0 && !gDisplayLost.load()) {
        // Requests still buffered go out before the wait; events Xlib
        // already read need no wait. A failed connection is not waited on:
        // it is always readable.
        XFlush(display);
        if (XEventsQueued(display, QueuedAlready) > 0)
            waitMs = 0;
        fds[count++].fd = ConnectionNumber(display);
        if (const int dpiFd = loop().xftDpi.connectionFd(); dpiFd >= 0)
            fds[count++].fd = dpiFd;
    }
    // With the display gone nothing comes from it: every loop quits, and
    // one that still runs only looks for posts now and then.
    if (waitMs < 0 && gDisplayLost.load())
        waitMs = kLostDisplayWaitMs;
    if (waitMs != 0)
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
    errPrint(loop().wayland ? "  ERROR: the connection to the Wayland compositor was lost; the windows close\n"
                            : "  ERROR: the connection to the X display was lost; the windows close\n");
    postQuitMessage();
}
// One pass: waits at most waitMs (kWaitUnbounded: no bound) for the first
// event (less when a timer is due, a message is posted or a window needs
// painting), then handles what is waiting, posted messages, due timers and
// paints.
void runOnePass(int waitMs) {
    ++loop().passesRun;
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
    if (loop().wayland && waylandConnectionFailed())
        announceDisplayLost();
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
    if (loop().quitPosted)
        return;
    checkShowing();
}

}  // namespace

uint64_t presentedFrameCount() { return gPresentedFrames.load(std::memory_order_relaxed); }
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
        w->target = w->targetRefused ? nullptr : createWindowTarget(w->sdl);
        w->targetLost = w->target == nullptr;
        if (!w->target) {
            // Tried again after a pause, as after a failed present: never
            // at once, over and over.
            w->paintError = w->targetRefused ? "no drawing target can be made for it"
                                             : "no drawing target: " + lastGraphicsError();
            w->invalid = w->wholeInvalid = true;
            w->paintNotBeforeMs = nowMs() + kPaintRetryMs;
            return nullptr;
        }
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
        w->paintError = "its frame could not be shown: " + lastGraphicsError();
        // Made again and painted after a pause: a window that cannot be
        // shown must not keep the thread busy.
        w->targetLost = true;
        w->invalid = w->wholeInvalid = true;
        w->paintNotBeforeMs = nowMs() + kPaintRetryMs;
        return false;
    }
    w->paintNotBeforeMs = 0;
    w->showSinceMs = 0;
    w->paintError.clear();
    gPresentedFrames.fetch_add(1, std::memory_order_relaxed);
    return true;
}
void postQuitMessage() { loop().quitPosted = true; }
bool isQuitPosted() { return loop().quitPosted; }
void clearQuitMessage() { loop().quitPosted = false; }

uint64_t messageLoopsRun() { return loop().loopsRun; }

uint64_t messageLoopPasses() { return loop().passesRun; }

bool runMessageLoopUntil(const bool& done) {
    ++loop().loopsRun;
    while (!done) {
        if (loop().quitPosted)
            return false;
        // Nothing but an event, a post or a due timer ends the wait: the
        // quit from other threads comes as a post (GuiHost::stop), and a
        // quit from this thread or a lost display is seen before waiting.
        runOnePass(kWaitUnbounded);
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
