#include "support/SessionBus.h"

#include <csignal>

namespace qv::test {

SessionBus::~SessionBus() { stop(); }

bool SessionBus::start() {
    const std::string daemon = findProgram("dbus-daemon");
    if (daemon.empty()) {
        m_error = "dbus-daemon is not installed (package dbus-daemon)";
        return false;
    }
    const std::string address = "unix:path=" + m_dir.file("bus");
    // --print-address writes the address once the daemon listens.
    if (!m_process.start({daemon, "--session", "--nofork", "--nopidfile", "--print-address", "--address=" + address},
                         {}, m_dir.file("dbus.txt"))) {
        m_error = "cannot start " + daemon;
        return false;
    }
    if (!m_process.waitForOutput("\n", 30000)) {
        m_error = "dbus-daemon did not come up: " + m_process.errors();
        return false;
    }
    m_address = address;
    return true;
}

void SessionBus::stop() {
    if (!m_process.isRunning())
        return;
    m_process.signal(SIGTERM);
    if (!m_process.wait(10000))
        m_process.signal(SIGKILL);
    m_process.wait(10000);
}

}  // namespace qv::test
