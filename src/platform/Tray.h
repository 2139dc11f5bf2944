#pragma once
// A tray icon on the desktop's status-notifier host (session D-Bus).
//
// The Linux implementation is a StatusNotifierItem with its menu ("Restore",
// a separator, "Exit") exported through com.canonical.dbusmenu. It runs its
// bus connection on a thread of its own, so a slow or stuck bus never blocks
// the caller beyond add()'s bounded start-up (a few seconds at most).
//
// The caller (the GUI thread) owns the object and calls add, remove,
// isAdded and lastError from that one thread. Callbacks run on the tray's own
// thread: they may only post window messages or set atomics.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

struct TrayCallbacks {
    std::function<void()> activate;                 // left click / Activate: restore the window
    std::function<void()> restore;                  // menu "Restore"
    std::function<void()> exit;                     // menu "Exit"
    std::function<void(int x, int y)> contextMenu;  // host asks us to show our own menu at screen x, y
};

// One icon image: size x size pixels, row by row, each pixel straight (not
// premultiplied) ARGB32 as 0xAARRGGBB. An image whose size is outside 1..256
// or whose pixel count is not size x size is left out by add().
struct TrayIconImage {
    int size = 0;
    std::vector<uint32_t> argb;
};

class ITray {
public:
    virtual ~ITray() = default;
    // Shows the icon. The callbacks and images are copied. Returns false when
    // there is no host (no StatusNotifierWatcher on the bus, or no session
    // bus at all); lastError() then says why. True when the icon is already
    // shown (nothing changes then).
    virtual bool add(const TrayCallbacks& callbacks, std::vector<TrayIconImage> icons, const std::string& tooltip) = 0;
    // Takes the icon away and ends the tray's thread; no callback runs after
    // it returns. Idempotent.
    virtual void remove() = 0;
    virtual bool isAdded() const = 0;
    virtual std::string lastError() const = 0;
};

// The StatusNotifierItem tray on the session bus named by
// DBUS_SESSION_BUS_ADDRESS (else $XDG_RUNTIME_DIR/bus when that socket
// exists). Nothing touches the bus before add().
std::unique_ptr<ITray> createStatusNotifierTray();

}  // namespace qv
