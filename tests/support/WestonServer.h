#pragma once
// A private Wayland compositor (weston) for tests of the Wayland path, with a
// runtime folder and socket name of its own.
//
// Back ends: Headless draws into memory and has no input seat at all; X11
// runs weston's output as a window on a private Xvfb (bare, at its top-left
// corner), where its seat takes the Xvfb's pointer, so a test moves and
// presses it through XTest on the Xvfb (pointerTo, pointerButton) and reads
// the compositor's output from its screen.

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"

#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

namespace qv::test {

enum class WestonBackend { Headless, X11 };
// Kiosk shows each toplevel over the whole output (a child at its own size);
// Desktop is weston's desktop-shell: a panel at the top, windows placed by
// the shell (anywhere on the output, a child too), a child kept above its
// parent, maximise and interactive resize.
enum class WestonShell { Kiosk, Desktop };

class WestonServer {
public:
    WestonServer() = default;
    ~WestonServer();
    WestonServer(const WestonServer&) = delete;
    WestonServer& operator=(const WestonServer&) = delete;

    // One output of width x height logical points at `scale` (its pixels are
    // scale times as many); kiosk-shell shows each client window over the
    // whole output. Waits until the socket accepts clients; false with
    // error() when weston (or the Xvfb) did not come up.
    bool start(WestonBackend backend, int width, int height, int scale = 1, WestonShell shell = WestonShell::Kiosk);
    void stop();

    // WAYLAND_DISPLAY and XDG_RUNTIME_DIR for clients.
    const std::string& socketName() const { return m_socket; }
    std::string runtimeDir() const { return m_runtime.path(); }
    // The environment a client needs (the two above).
    std::vector<std::pair<std::string, std::string>> clientEnvironment() const;
    // X11 back end: the Xvfb the output is shown on.
    XvfbServer& xvfb() { return m_xvfb; }
    // X11 back end: the seat's pointer to output pixel (x, y) (warped on
    // the Xvfb), and its left button down or up where it is (through XTest).
    // Weston's window takes the pointer from the motion it sees, so a press
    // goes where the pointer was last moved to (move before pressing). False
    // when the Xvfb cannot be reached.
    bool pointerTo(int x, int y);
    bool pointerButton(bool down);
    const std::string& error() const { return m_error; }

private:
    TempDir m_runtime;
    TempDir m_logs;
    XvfbServer m_xvfb;
    ChildProcess m_process;
    _XDisplay* m_input = nullptr;  // the pointer's connection, opened at the first use
    std::pair<int, int> m_outside;  // a point of the Xvfb off weston's window
    std::string m_socket;
    std::string m_error;
};

}  // namespace qv::test
