#pragma once
// A private D-Bus session bus (dbus-daemon --session) for tests of bus code:
// it listens on a socket in a temporary folder of its own, so tests running
// in parallel never share a bus, and the desktop's bus is never touched.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <string>

namespace qv::test {

class SessionBus {
public:
    SessionBus() = default;
    ~SessionBus();  // stops the daemon
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Starts the daemon and waits until it accepts clients; false (with
    // error()) when dbus-daemon is missing or did not come up.
    bool start();
    void stop();

    // The address for DBUS_SESSION_BUS_ADDRESS ("unix:path=...").
    const std::string& address() const { return m_address; }
    const std::string& error() const { return m_error; }

private:
    TempDir m_dir;
    ChildProcess m_process;
    std::string m_address;
    std::string m_error;
};

}  // namespace qv::test
