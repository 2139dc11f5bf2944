#pragma once
// The logical DPI the desktop asks for: the user's scaling choice (96 at
// 100 %), never the panel's physical density.
//
// On X11 desktops publish it as "Xft.dpi" in the display's resource database
// (the RESOURCE_MANAGER property of the root window), and announce a new
// scale by rewriting that property. QUORVANE_DPI overrides whatever the
// desktop says, for desktops that set nothing.
//
// Every value comes from outside: a text that is no positive finite number
// counts as missing; a desktop's number is rounded and clamped to 48..480,
// the user's QUORVANE_DPI is used only within that range.

#include <string>

struct _XDisplay;

namespace qv {

inline constexpr int kMinDesktopDpi = 48;
inline constexpr int kMaxDesktopDpi = 480;

// A DPI text ("144", " 120.5 "): the rounded value clamped to 48..480; 0 when
// it is empty, not a number, not finite, not positive or followed by more
// than blanks.
int parseDpiText(const char* text);

// The Xft.dpi entry of a resource database text (RESOURCE_MANAGER's format,
// as xrdb writes it: "name:\tvalue" lines); "Xft.dpi" itself, else a
// wildcard entry that matches it ("*dpi", "*.dpi", "Xft*dpi"); 0 when there
// is none or its value is not valid.
int xftDpiFromResources(const std::string& resources);

// QUORVANE_DPI from the environment; 0 when unset or not used (see
// readDpiOverride).
int dpiFromEnvironment();

// The user's own DPI choice read strictly: a number in 48..480 (rounded) is
// used; anything else set (not a number, 0, negative, out of the range) is
// not used, and `problem` says so in one line for the console. Unset or
// blank: dpi 0 and no problem. A desktop's Xft.dpi is clamped instead
// (parseDpiText): there nobody asked for the value.
struct DpiOverride {
    int dpi = 0;
    std::string problem;  // empty when the value is used or absent
};
DpiOverride readDpiOverride(const char* text);
// readDpiOverride of QUORVANE_DPI.
DpiOverride dpiOverrideFromEnvironment();

// Follows the Xft.dpi of one X display on a connection of its own, so the
// window system's connection is left alone. GUI thread only.
class XResourceDpiWatcher {
public:
    XResourceDpiWatcher() = default;
    ~XResourceDpiWatcher();
    XResourceDpiWatcher(const XResourceDpiWatcher&) = delete;
    XResourceDpiWatcher& operator=(const XResourceDpiWatcher&) = delete;

    // Connects to the display (null: $DISPLAY) and reads the resources once.
    // False when the display cannot be opened.
    bool open(const char* display = nullptr);
    void close();
    bool isOpen() const { return m_display != nullptr; }

    // The last Xft.dpi read; 0 when the display has none (or no valid one).
    int xftDpi() const { return m_dpi; }

    // The connection's descriptor, readable when the server sent something
    // (poll() then handles it), so a waiting loop can wake for a new DPI
    // instead of looking now and then; -1 when closed or lost (a lost
    // connection stays readable and would never let a wait sleep).
    int connectionFd() const;

    // Handles what the server sent without waiting (no round trip when
    // nothing came); when the resources were rewritten, reads them again.
    // True when the Xft.dpi changed.
    bool poll();

private:
    int readDpi();

    _XDisplay* m_display = nullptr;
    unsigned long m_atom = 0;
    int m_dpi = 0;
    bool m_lost = false;  // set by Xlib's exit handler (same thread)
};

}  // namespace qv
