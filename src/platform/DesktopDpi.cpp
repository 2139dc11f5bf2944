#include "platform/DesktopDpi.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

int xftDpiFromResources(const std::string& resources) {
    if (resources.empty())
        return 0;
    static std::once_flag once;
    std::call_once(once, [] { XrmInitialize(); });
    XrmDatabase database = XrmGetStringDatabase(resources.c_str());
    if (!database)
        return 0;
    char* type = nullptr;
    XrmValue value{};
    int dpi = 0;
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr && value.size > 0) {
        // The value is counted, not necessarily terminated.
        const std::string text(value.addr, strnlen(value.addr, value.size));
        dpi = parseDpiText(text.c_str());
    }
    XrmDestroyDatabase(database);
    return dpi;
}

int dpiFromEnvironment() { return parseDpiText(std::getenv("QUORVANE_DPI")); }

XResourceDpiWatcher::~XResourceDpiWatcher() { close(); }

bool XResourceDpiWatcher::open(const char* display) {
    close();
    m_display = XOpenDisplay(display);
    if (!m_display)
        return false;
    m_atom = XInternAtom(m_display, "RESOURCE_MANAGER", False);
    // Only property changes of the root window are asked for.
    XSelectInput(m_display, DefaultRootWindow(m_display), PropertyChangeMask);
    m_dpi = readDpi();
    return true;
}

void XResourceDpiWatcher::close() {
    if (m_display)
        XCloseDisplay(m_display);
    m_display = nullptr;
    m_dpi = 0;
}

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
    if (!m_display)
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
