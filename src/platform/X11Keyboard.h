#pragma once
// The key state of the X display the user works on, whichever window has the
// focus: the L key toggles the suspension logger while the simulator's window
// is in front. Polled with XQueryKeymap on a display connection of this
// object's own, so it shares nothing with the user interface's connection.
//
// Main thread only (construction, polls and destruction). Without a display
// (no DISPLAY, a Wayland session without Xwayland, a console login) or with a
// display that is not local (an "ssh -X" forwarding, where every poll would
// be a network round trip in the 120 Hz loop) the keyboard is inactive and
// reports every key as up. A display that goes away while the program runs
// (the X server ends) makes it inactive too; the program keeps running.

#include "platform/Keyboard.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class X11Keyboard : public IKeyboard {
public:
    // The key state is asked of the X server (a round trip) at most every
    // refreshMs; in between the last answer is given again. The run loop asks
    // 120 times a second, and a key press lasts longer than the default.
    static constexpr uint32_t kDefaultRefreshMs = 25;
    // displayName null: the DISPLAY environment variable.
    explicit X11Keyboard(const char* displayName = nullptr, uint32_t refreshMs = kDefaultRefreshMs);
    ~X11Keyboard() override;
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // True while the key (a letter, either case) is held down.
    bool isKeyDown(char key) override;

    // A display connection is open and alive.
    bool isActive() const { return m_display != nullptr; }
    // Why the keyboard is inactive ("" while it is active).
    const std::string& status() const { return m_status; }

private:
    void closeDisplay();

    void* m_display = nullptr;  // the Display*, kept out of this header
    unsigned char m_keycodes[26] = {};  // 0 = not looked up yet or no such key
    bool m_lost = false;                // set by the I/O error exit handler
    uint32_t m_refreshMs = kDefaultRefreshMs;
    char m_keys[32] = {};   // the key state last asked for
    uint64_t m_keysAtMs = 0;  // when (steady clock, never 0); 0 = not yet
    std::string m_status;

    friend void x11KeyboardConnectionLost(X11Keyboard* keyboard);
};

// True for names of displays on this machine: ":0", ":1.0", "unix:0" or a
// socket path ("/tmp/.X11-unix/X0"); false for "host:0", "localhost:10.0" and
// the empty name.
bool isLocalXDisplayName(std::string_view name);

}  // namespace qv
