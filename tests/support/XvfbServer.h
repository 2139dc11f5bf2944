#pragma once
// A private virtual X server (Xvfb) for tests of X11 code: it picks a free
// display number itself, so tests running in parallel never share one.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <string>

namespace qv::test {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();  // stops the server
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server and waits until it accepts clients; false (with
    // error()) when Xvfb is missing or did not come up.
    // `screen` is WIDTHxHEIGHTxDEPTH.
    bool start(const std::string& screen = "320x240x24");
    // Ends the server (SIGTERM, then SIGKILL); its clients lose the connection.
    void stop();

    // The display name for XOpenDisplay and DISPLAY, ":<n>".
    const std::string& display() const { return m_display; }
    const std::string& error() const { return m_error; }

private:
    TempDir m_dir;
    ChildProcess m_process;
    std::string m_display;
    std::string m_error;
};

}  // namespace qv::test
