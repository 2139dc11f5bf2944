#include "support/WestonServer.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace qv::test {
namespace {

bool socketAccepts(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        ::close(fd);
        return false;
    }
    path.copy(address.sun_path, path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

WestonServer::~WestonServer() { stop(); }

bool WestonServer::start(WestonBackend backend, int width, int height, int scale, WestonShell shell) {
    static std::atomic<int> counter{0};
    m_socket = "qv-weston-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    ::chmod(m_runtime.path().c_str(), 0700);  // as a runtime folder must be
    std::vector<std::pair<std::string, std::string>> env = {{"XDG_RUNTIME_DIR", m_runtime.path()},
                                                            {"WAYLAND_DISPLAY", ""}, {"WAYLAND_SOCKET", ""}};
    std::vector<std::string> argv = {QV_TEST_WESTON, "--no-config", "--idle-time=0", shell == WestonShell::Desktop ? "--shell=desktop-shell.so" : "--shell=kiosk-shell.so",
                                     "--socket=" + m_socket, "--width=" + std::to_string(width),
                                     "--height=" + std::to_string(height), "--scale=" + std::to_string(scale),
                                     "--use-pixman"};
    if (backend == WestonBackend::X11) {
        if (!m_xvfb.start(std::to_string(width * scale + 64) + "x" + std::to_string(height * scale + 64) + "x24")) {
            m_error = "Xvfb for weston: " + m_xvfb.error();
            return false;
        }
        m_outside = {width * scale + 32, height * scale + 32};
        argv.insert(argv.begin() + 1, "--backend=x11-backend.so");
        env.emplace_back("DISPLAY", m_xvfb.display());
    } else {
        argv.insert(argv.begin() + 1, "--backend=headless-backend.so");
        env.emplace_back("DISPLAY", "");
    }
    if (!m_process.start(argv, env, m_logs.file("weston.txt"))) {
        m_error = "cannot start " QV_TEST_WESTON;
        return false;
    }
    const std::string path = m_runtime.path() + m_socket;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!socketAccepts(path)) {
        if (!m_process.isRunning() || std::chrono::steady_clock::now() > deadline) {
            m_error = "weston did not come up: " + m_process.output() + m_process.errors();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void WestonServer::stop() {
    if (m_input) {
        XCloseDisplay(m_input);
        m_input = nullptr;
    }
    if (m_process.isRunning()) {
        m_process.signal(SIGTERM);
        if (!m_process.wait(10000))
            m_process.signal(SIGKILL);
        m_process.wait(10000);
    }
    m_xvfb.stop();
}

bool WestonServer::pointerTo(int x, int y) {
    if (!m_input && !m_xvfb.display().empty()) {
        m_input = XOpenDisplay(m_xvfb.display().c_str());
        // Weston's window follows the pointer only once it has seen it come
        // in (the Xvfb starts with its pointer already inside): out to the
        // Xvfb's margin first.
        if (m_input)
            XWarpPointer(m_input, None, DefaultRootWindow(m_input), 0, 0, 0, 0, m_outside.first, m_outside.second);
    }
    if (!m_input)
        return false;
    XWarpPointer(m_input, None, DefaultRootWindow(m_input), 0, 0, 0, 0, x, y);
    XSync(m_input, False);
    return true;
}

bool WestonServer::pointerButton(bool down) {
    if (!m_input)
        return false;
    XTestFakeButtonEvent(m_input, 1, down ? True : False, CurrentTime);
    XSync(m_input, False);
    return true;
}

std::vector<std::pair<std::string, std::string>> WestonServer::clientEnvironment() const {
    return {{"WAYLAND_DISPLAY", m_socket}, {"XDG_RUNTIME_DIR", m_runtime.path()}};
}

}  // namespace qv::test
