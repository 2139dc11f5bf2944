#include "support/XTestDriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace qv::test {

XTestDriver::XTestDriver(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {
    // A window that went away between two requests is an answer, not a
    // reason to end the test program.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

XTestDriver::~XTestDriver() {
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long XTestDriver::findInTree(const std::string& title, bool exact, bool viewableOnly, int depth,
                                      unsigned long parentWindow) {
    if (!parentWindow)
        parentWindow = DefaultRootWindow(m_display);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, parentWindow, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(m_display, children[i], &name) && name) {
            const std::string text = name;
            XFree(name);
            if ((exact ? text == title : text.rfind(title, 0) == 0) && (!viewableOnly || viewable(children[i])))
                found = children[i];
        }
    }
    for (unsigned int i = 0; i < count && !found && depth > 1; ++i)
        found = findInTree(title, exact, viewableOnly, depth - 1, children[i]);
    if (children)
        XFree(children);
    return found;
}

bool XTestDriver::viewable(unsigned long window) {
    XWindowAttributes a{};
    return XGetWindowAttributes(m_display, window, &a) && a.map_state == IsViewable;
}

bool XTestDriver::geometry(unsigned long window, int* x, int* y, int* width, int* height) {
    XWindowAttributes a{};
    Window child = 0;
    if (!XGetWindowAttributes(m_display, window, &a) ||
        !XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, x, y, &child))
        return false;
    *width = a.width;
    *height = a.height;
    return true;
}

void XTestDriver::click(unsigned long window, int x, int y) {
    Window child = 0;
    int rx = 0, ry = 0;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(m_display, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    XSync(m_display, False);
}

bool XTestDriver::moveTo(unsigned long window, int x, int y) {
    int wx = 0, wy = 0, width = 0, height = 0;
    if (!geometry(window, &wx, &wy, &width, &height))
        return false;
    XTestFakeMotionEvent(m_display, -1, wx + x, wy + y, CurrentTime);
    XSync(m_display, False);
    return true;
}

void XTestDriver::click() {
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    XSync(m_display, False);
}

void XTestDriver::key(unsigned long keySym) {
    const KeyCode code = XKeysymToKeycode(m_display, keySym);
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    XSync(m_display, False);
}

void XTestDriver::keyWith(std::initializer_list<unsigned long> modifiers, unsigned long keySym) {
    for (unsigned long m : modifiers)
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, m), True, CurrentTime);
    XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keySym), True, CurrentTime);
    XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keySym), False, CurrentTime);
    for (unsigned long m : modifiers)
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, m), False, CurrentTime);
    XSync(m_display, False);
}

std::vector<long> XTestDriver::longs(unsigned long window, const char* property, unsigned long type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> result;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, property, False), 0, 1024, False, type,
                           &actualType, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        result.assign(values, values + count);
    }
    if (data)
        XFree(data);
    return result;
}

std::vector<unsigned long> XTestDriver::clientList(const char* property) {
    std::vector<unsigned long> list;
    for (long w : longs(DefaultRootWindow(m_display), property, XA_WINDOW))
        list.push_back(static_cast<Window>(w));
    return list;
}

unsigned long XTestDriver::findClient(const std::string& prefix) {
    for (unsigned long w : clientList())
        if (title(w).rfind(prefix, 0) == 0)
            return w;
    return 0;
}

std::string XTestDriver::title(unsigned long window) {
    char* text = nullptr;
    std::string result;
    if (XFetchName(m_display, window, &text) && text) {
        result = text;
        XFree(text);
    }
    return result;
}

unsigned long XTestDriver::activeWindow() {
    const std::vector<long> v = longs(DefaultRootWindow(m_display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return v.empty() ? 0 : static_cast<Window>(v[0]);
}

unsigned long XTestDriver::focus() {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(m_display, &w, &revert);
    return w;
}

long XTestDriver::wmState(unsigned long window) {
    const std::vector<long> v = longs(window, "WM_STATE", XInternAtom(m_display, "WM_STATE", False));
    return v.empty() ? 0 : v[0];
}

void XTestDriver::activate(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager
    XSendEvent(m_display, DefaultRootWindow(m_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XSync(m_display, False);
}

}  // namespace qv::test
