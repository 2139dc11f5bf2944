#pragma once
// A stand-in for a desktop's tray on a private session bus (SessionBus.h):
// a StatusNotifierWatcher that records the items registering with it, and
// the host side that reads an item's properties, clicks it and walks its
// dbusmenu, the way a panel does. The watcher serves on a thread of its own;
// the host's calls are synchronous on the caller's thread.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv::test {

struct TrayMenuEntry {
    int id = 0;
    std::string label;  // "" for a separator
    std::string type;   // "separator", else "" (a standard entry)
};

class FakeTrayHost {
public:
    explicit FakeTrayHost(std::string busAddress);
    ~FakeTrayHost();
    FakeTrayHost(const FakeTrayHost&) = delete;
    FakeTrayHost& operator=(const FakeTrayHost&) = delete;

    // Claims org.kde.StatusNotifierWatcher and serves it; false (with
    // error()) when the bus cannot be reached or the name is taken.
    bool startWatcher();
    // Releases the name and ends the watcher's thread.
    void stopWatcher();

    // The service strings items registered with, in order.
    std::vector<std::string> registrations() const;
    // Polls until at least `count` registrations arrived.
    bool waitForRegistrations(size_t count, int timeoutMs = 20000) const;

    // The host side, talking to the item of the last registration (or to
    // `service` with the item's standard path). Each returns a default value
    // and sets error() when the call fails.
    std::string stringProperty(const std::string& name);
    bool boolProperty(const std::string& name);
    std::string objectPathProperty(const std::string& name);
    std::vector<int> iconSizes();
    // The first icon's pixel at (x, y) as 0xAARRGGBB, read from the item's
    // big-endian bytes.
    uint32_t iconPixel(size_t icon, int x, int y);
    std::string toolTipTitle();
    bool callItem(const std::string& method, int x, int y);  // Activate, SecondaryActivate, ContextMenu
    std::vector<TrayMenuEntry> menuEntries();
    bool clickMenuEntry(int id);
    uint32_t menuVersion();
    // Whether a bus name has an owner right now.
    bool nameHasOwner(const std::string& name);

    std::string error() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qv::test
