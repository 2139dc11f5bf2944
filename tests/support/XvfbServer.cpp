#include "support/XvfbServer.h"

#include <csignal>

namespace qv::test {

XvfbServer::~XvfbServer() { stop(); }

bool XvfbServer::start(const std::string& screen) {
    // -displayfd 1: Xvfb chooses a free display and writes its number to
    // standard output once it accepts connections.
    if (!m_process.start({QV_TEST_XVFB, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", screen}, {},
                         m_dir.file("xvfb.txt"))) {
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
    return true;
}

void XvfbServer::stop() {
    if (!m_process.isRunning())
        return;
    m_process.signal(SIGTERM);
    if (!m_process.wait(10000))
        m_process.signal(SIGKILL);
    m_process.wait(10000);
}

}  // namespace qv::test
