#include "platform/X11Keyboard.h"

#include "platform/Output.h"
#include "platform/X11Errors.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace qv {

void x11KeyboardConnectionLost(X11Keyboard* keyboard) { keyboard->m_lost = true; }

namespace {

// A lost connection marks the keyboard lost instead of ending the process.
void onConnectionLost(void* keyboard) { x11KeyboardConnectionLost(static_cast<X11Keyboard*>(keyboard)); }

}  // namespace

bool isLocalXDisplayName(std::string_view name) {
    if (name.empty())
        return false;
    return name.front() == ':' || name.front() == '/' || name.substr(0, 5) == "unix:";
}

X11Keyboard::X11Keyboard(const char* displayName, uint32_t refreshMs) : m_refreshMs(refreshMs) {
    if (!displayName)
        displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName) {
        m_status = "no X display (DISPLAY is not set)";
        return;
    }
    if (!isLocalXDisplayName(displayName)) {
        m_status = std::string("the X display ") + displayName + " is not on this machine";
        return;
    }
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        m_status = std::string("cannot open the X display ") + displayName;
        return;
    }
    watchX11Connection(display, onConnectionLost, this);
    m_display = display;
}

X11Keyboard::~X11Keyboard() { closeDisplay(); }

void X11Keyboard::closeDisplay() {
    auto* display = static_cast<Display*>(m_display);
    if (!display)
        return;
    XCloseDisplay(display);  // also safe on a lost connection: it only frees
    unwatchX11Connection(display);
    m_display = nullptr;
}

bool X11Keyboard::isKeyDown(char key) {
    auto* display = static_cast<Display*>(m_display);
    const int c = std::tolower(static_cast<unsigned char>(key));
    if (!display || c < 'a' || c > 'z')
        return false;
    unsigned char& keycode = m_keycodes[c - 'a'];
    if (keycode == 0) {
        keycode = XKeysymToKeycode(display, static_cast<KeySym>(XK_a + (c - 'a')));
        if (m_lost)
            keycode = 0;
    }
    const uint64_t now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                   .count()) +
                         1;
    if (!m_lost && keycode != 0 && (m_keysAtMs == 0 || now - m_keysAtMs >= m_refreshMs)) {
        std::memset(m_keys, 0, sizeof m_keys);
        XQueryKeymap(display, m_keys);
        m_keysAtMs = now;
    }
    const char* keys = m_keys;
    if (m_lost) {
        // The reply never came; what Xlib left in keys means nothing.
        m_status = "the X display connection was lost";
        errPrint("  WARNING: the X display connection was lost; the L key now works only in the terminal\n");
        closeDisplay();
        return false;
    }
    return keycode != 0 && (static_cast<unsigned char>(keys[keycode >> 3]) >> (keycode & 7) & 1) != 0;
}

}  // namespace qv
