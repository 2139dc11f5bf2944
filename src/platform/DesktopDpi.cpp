#include "platform/DesktopDpi.h"

#include "platform/PrintableText.h"
#include "platform/X11Errors.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace qv {

namespace {
// The resources of a display are a few kilobytes; more is not read.
constexpr long kMaxResourceLongs = 256 * 1024;
}  // namespace

int parseDpiText(const char* text) {
    if (!text)
        return 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text)
        return 0;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')
        ++end;
    if (*end != '\0' || !std::isfinite(value) || value <= 0)
        return 0;
    return static_cast<int>(std::lround(std::clamp(value, double(kMinDesktopDpi), double(kMaxDesktopDpi))));
}

// The database text is read line by line here rather than by Xlib's
// resource manager: that parser keeps every name it ever saw in a table for
// the life of the process and overran its buffers on hostile input under the
// fuzzer, and the property comes from any client of the display.
int xftDpiFromResources(const std::string& resources) {
    std::string exact, loose;  // "Xft.dpi", and a wildcard entry that matches it
    size_t at = 0;
    while (at < resources.size()) {
        size_t end = resources.find('\n', at);
        if (end == std::string::npos)
            end = resources.size();
        std::string_view line(resources.data() + at, end - at);
        at = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const auto trim = [](std::string_view v) {
            while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
                v.remove_prefix(1);
            while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
                v.remove_suffix(1);
            return v;
        };
        const std::string_view name = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (name == "Xft.dpi")
            exact.assign(value);
        else if (name == "*dpi" || name == "*.dpi" || name == "Xft*dpi" || name == "*Xft.dpi" || name == "*Xft*dpi")
            loose.assign(value);
    }
    const std::string& text = exact.empty() ? loose : exact;
    // A value is one text: it ends at the first NUL, like the property.
    return parseDpiText(text.c_str());
}

DpiOverride readDpiOverride(const char* text) {
    DpiOverride result;
    if (!text)
        return result;
    std::string_view value(text);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!value.empty() && blank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && blank(value.back()))
        value.remove_suffix(1);
    if (value.empty())
        return result;
    const std::string copy(value);
    char* end = nullptr;
    const double number = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() && *end == '\0' && std::isfinite(number) && number >= kMinDesktopDpi - 0.5 &&
        number < kMaxDesktopDpi + 0.5) {
        result.dpi = std::clamp(static_cast<int>(std::lround(number)), kMinDesktopDpi, kMaxDesktopDpi);
        return result;
    }
    // The value is shown as given, made safe for the terminal and cut short.
    constexpr size_t kShown = 40;
    std::string shown = printableText(value.substr(0, kShown));
    if (value.size() > kShown)
        shown += "...";
    result.problem = "QUORVANE_DPI \"" + shown + "\" is not used: it takes a DPI from " +
                     std::to_string(kMinDesktopDpi) + " to " + std::to_string(kMaxDesktopDpi) +
                     " (96 is 100 %), so the desktop's scale is used";
    return result;
}

DpiOverride dpiOverrideFromEnvironment() { return readDpiOverride(std::getenv("QUORVANE_DPI")); }

int dpiFromEnvironment() { return dpiOverrideFromEnvironment().dpi; }

XResourceDpiWatcher::~XResourceDpiWatcher() { close(); }

bool XResourceDpiWatcher::open(const char* display) {
    close();
    m_display = XOpenDisplay(display);
    if (!m_display)
        return false;
    // Its loss ends nothing (the window layer's own connection tells); it
    // is only no longer waited on or read.
    m_lost = false;
    watchX11Connection(
        m_display, [](void* user) { static_cast<XResourceDpiWatcher*>(user)->m_lost = true; }, this);
    m_atom = XInternAtom(m_display, "RESOURCE_MANAGER", False);
    // Only property changes of the root window are asked for.
    XSelectInput(m_display, DefaultRootWindow(m_display), PropertyChangeMask);
    m_dpi = readDpi();
    return true;
}

void XResourceDpiWatcher::close() {
    if (m_display) {
        // Still watched while it closes: closing a connection whose server
        // has gone is where Xlib finds out.
        XCloseDisplay(m_display);
        unwatchX11Connection(m_display);
    }
    m_display = nullptr;
    m_dpi = 0;
    m_lost = false;
}

int XResourceDpiWatcher::connectionFd() const { return m_display && !m_lost ? ConnectionNumber(m_display) : -1; }

int XResourceDpiWatcher::readDpi() {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), m_atom, 0, kMaxResourceLongs, False, XA_STRING,
                           &type, &format, &count, &after, &data) == Success &&
        data && type == XA_STRING && format == 8)
        text.assign(reinterpret_cast<const char*>(data), count);
    if (data)
        XFree(data);
    return xftDpiFromResources(text);
}

bool XResourceDpiWatcher::poll() {
    if (!m_display || m_lost)
        return false;
    bool changed = false;
    while (XEventsQueued(m_display, QueuedAfterReading) > 0) {
        XEvent e;
        XNextEvent(m_display, &e);
        if (e.type == PropertyNotify && e.xproperty.atom == m_atom)
            changed = true;
    }
    if (!changed)
        return false;
    const int dpi = readDpi();
    if (dpi == m_dpi)
        return false;
    m_dpi = dpi;
    return true;
}

}  // namespace qv
