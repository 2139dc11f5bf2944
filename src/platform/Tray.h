#pragma once
// A tray icon on the desktop's status-notifier host (session D-Bus).
// Callbacks run on the tray's own thread: they may only post window messages
// or set atomics.

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

struct TrayIconImage {
    int size = 0;
    std::vector<uint32_t> argb;  // straight ARGB32, size x size
};

class ITray {
public:
    virtual ~ITray() = default;
    // False when no host (no StatusNotifierWatcher on the bus); lastError() says why.
    virtual bool add(const TrayCallbacks& callbacks, std::vector<TrayIconImage> icons, const std::string& tooltip) = 0;
    virtual void remove() = 0;  // idempotent
    virtual bool isAdded() const = 0;
    virtual std::string lastError() const = 0;
};

std::unique_ptr<ITray> createStatusNotifierTray();  // session bus from DBUS_SESSION_BUS_ADDRESS

}  // namespace qv
