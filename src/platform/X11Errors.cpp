#include "platform/X11Errors.h"

#include "platform/Output.h"

#include <X11/Xlib.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace qv {

namespace {

// Each kind of protocol error (error code, request, minor code) is logged
// once; after this many kinds nothing more is logged, only counted.
constexpr int kMaxLoggedKinds = 64;
std::array<std::atomic<uint32_t>, kMaxLoggedKinds> gLoggedKinds{};
std::atomic<uint64_t> gProtocolErrors{0};

struct Watched {
    std::atomic<Display*> display{nullptr};
    void (*lost)(void*) = nullptr;
    void* user = nullptr;
};
constexpr int kMaxWatched = 8;
std::array<Watched, kMaxWatched> gWatched;
std::mutex gWatchMutex;  // writers of gWatched; the handlers only read

// True the first time `kind` is seen.
bool firstOfKind(uint32_t kind) {
    for (auto& slot : gLoggedKinds) {
        uint32_t seen = slot.load();
        if (seen == kind)
            return false;
        if (seen == 0 && slot.compare_exchange_strong(seen, kind))
            return true;
        if (seen == kind)
            return false;
    }
    return false;
}

int onProtocolError(Display* display, XErrorEvent* e) {
    gProtocolErrors.fetch_add(1);
    // +1: a kind is never 0, the mark of a free slot.
    const uint32_t kind = (static_cast<uint32_t>(e->error_code) << 16 | static_cast<uint32_t>(e->request_code) << 8 |
                           static_cast<uint32_t>(e->minor_code)) + 1;
    if (!firstOfKind(kind))
        return 0;
    // Neither look-up sends a request, as an error handler must not.
    char text[128] = {};
    XGetErrorText(display, e->error_code, text, sizeof text);
    char number[16];
    std::snprintf(number, sizeof number, "%d", e->request_code);
    char request[64] = {};
    XGetErrorDatabaseText(display, "XRequest", number, "", request, sizeof request);
    errPrint("  WARNING: the X server refused a request: %s (request %d%s%s, resource 0x%lx); the program goes on "
             "and reports no more errors of this kind\n",
             text, e->request_code, request[0] ? " " : "", request, static_cast<unsigned long>(e->resourceid));
    return 0;
}

Watched* findWatched(Display* display) {
    for (auto& w : gWatched)
        if (w.display.load() == display)
            return &w;
    return nullptr;
}

int onIoError(Display* display) {
    const char* name = display ? DisplayString(display) : nullptr;
    if (findWatched(display))
        return 0;  // Xlib then calls the connection's exit handler (ours); its owner tells the user
    // A connection nobody watches: Xlib's exit handler ends the process.
    errPrint("  ERROR: the connection to the X display %s was lost; the program ends\n", name ? name : "");
    outputFlush(1000);
    return 0;
}

void onConnectionExit(Display* display, void*) {
    if (Watched* w = findWatched(display); w && w->lost)
        w->lost(w->user);
}

}  // namespace

void installX11ErrorHandlers() {
    XSetErrorHandler(onProtocolError);
    XSetIOErrorHandler(onIoError);
}

void watchX11Connection(_XDisplay* display, void (*lost)(void* user), void* user) {
    if (!display)
        return;
    installX11ErrorHandlers();
    std::lock_guard lock(gWatchMutex);
    if (findWatched(display))
        return;
    for (auto& w : gWatched) {
        if (w.display.load() != nullptr)
            continue;
        // The callback is in place before a handler can find the slot.
        w.lost = lost;
        w.user = user;
        w.display.store(display);
        XSetIOErrorExitHandler(display, onConnectionExit, nullptr);
        return;
    }
}

void unwatchX11Connection(_XDisplay* display) {
    std::lock_guard lock(gWatchMutex);
    for (auto& w : gWatched)
        if (w.display.load() == display)
            w.display.store(nullptr);
}

uint64_t x11ProtocolErrorCount() { return gProtocolErrors.load(); }

}  // namespace qv
