#include "support/XvfbServer.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace qv::test {
namespace {

// The window named by `property` (a WINDOW property) on `w`; 0 when unset.
::Window windowProperty(Display* display, ::Window w, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ::Window result = 0;
    if (XGetWindowProperty(display, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == XA_WINDOW && format == 32 && count == 1)
            result = static_cast<::Window>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return result;
}

// True once a window manager announced itself the EWMH way: the root names a
// check window, and that window names itself.
bool windowManagerAnnounced(const std::string& name) {
    Display* display = XOpenDisplay(name.c_str());
    if (!display)
        return false;
    // The check window may be replaced between the two reads.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const ::Window child = windowProperty(display, DefaultRootWindow(display), check);
    const bool announced = child != 0 && windowProperty(display, child, check) == child;
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return announced;
}

}  // namespace

const char* windowManagerName(WindowManager manager) {
    return manager == WindowManager::Openbox ? "Openbox" : "Xvfb";
}

XvfbServer::~XvfbServer() { stop(); }

bool XvfbServer::start(const std::string& screen, WindowManager manager, const std::vector<std::string>& arguments) {
    // -displayfd 1: Xvfb chooses a free display and writes its number to
    // standard output once it accepts connections. -noreset: a server that
    // lost its last client would otherwise reset itself and drop the clients
    // that connect meanwhile (a window manager starting after a probe).
    std::vector<std::string> argv = {QV_TEST_XVFB, "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                     "-screen", "0", screen};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!m_process.start(argv, {}, m_dir.file("xvfb.txt"))) {
        m_error = "cannot start " QV_TEST_XVFB;
        return false;
    }
    if (!m_process.waitForOutput("\n", 30000)) {
        m_error = "Xvfb did not come up: " + m_process.errors();
        return false;
    }
    std::string number = m_process.output();
    number = number.substr(0, number.find('\n'));
    m_display = ":" + number;
    m_manager = manager;
    if (manager == WindowManager::Openbox)
        return startOpenbox();
    return true;
}

bool XvfbServer::startOpenbox() {
    // Everything openbox reads or writes lives in the server's own folder:
    // its configuration falls back to the system's, its session state and
    // caches stay private.
    const std::string home = m_dir.file("openbox-home");
    for (const std::string& folder : {home, home + "/.config", home + "/.cache", home + "/.local",
                                      home + "/.local/share", home + "/.local/state"})
        ::mkdir(folder.c_str(), 0700);
    const std::vector<std::pair<std::string, std::string>> env = {
        {"DISPLAY", m_display},
        {"HOME", home},
        {"XDG_CONFIG_HOME", home + "/.config"},
        {"XDG_CACHE_HOME", home + "/.cache"},
        {"XDG_DATA_HOME", home + "/.local/share"},
        {"XDG_STATE_HOME", home + "/.local/state"},
        // No session manager and no desktop bus of the test's: openbox talks
        // to its display alone.
        {"SESSION_MANAGER", ""},
        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
    };
    if (!m_managerProcess.start({QV_TEST_OPENBOX, "--sm-disable"}, env, m_dir.file("openbox.txt"))) {
        m_error = "cannot start " QV_TEST_OPENBOX;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!windowManagerAnnounced(m_display)) {
        if (!m_managerProcess.isRunning()) {
            m_error = "openbox ended (status " + std::to_string(m_managerProcess.exitCode()) +
                      ") before it managed the screen: " + m_managerProcess.output() + m_managerProcess.errors();
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = "openbox did not manage the screen within 30 s: " + m_managerProcess.errors();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool XvfbServer::mergeResources(const std::string& text) {
    const std::string file = m_dir.file("resources.txt");
    std::ofstream(file) << text;
    ChildProcess xrdb;
    if (!xrdb.start({findProgram("xrdb"), "-nocpp", "-merge", file}, {{"DISPLAY", m_display}}, m_dir.file("xrdb.txt"))) {
        m_error = "xrdb could not be started";
        return false;
    }
    if (!xrdb.wait(20000) || xrdb.exitCode() != 0) {
        m_error = "xrdb failed: " + xrdb.errors();
        return false;
    }
    return true;
}

void XvfbServer::stop() {
    for (ChildProcess* process : {&m_managerProcess, &m_process}) {
        if (!process->isRunning())
            continue;
        process->signal(SIGTERM);
        if (!process->wait(10000))
            process->signal(SIGKILL);
        process->wait(10000);
    }
}

}  // namespace qv::test
