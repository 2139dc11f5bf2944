#include "support/WestonServer.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

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
    if (m_process.isRunning()) {
        m_process.signal(SIGTERM);
        if (!m_process.wait(10000))
            m_process.signal(SIGKILL);
        m_process.wait(10000);
    }
    m_xvfb.stop();
}

std::vector<std::pair<std::string, std::string>> WestonServer::clientEnvironment() const {
    return {{"WAYLAND_DISPLAY", m_socket}, {"XDG_RUNTIME_DIR", m_runtime.path()}};
}

}  // namespace qv::test
