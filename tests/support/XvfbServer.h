#pragma once
// A private virtual X server (Xvfb) for tests of X11 code: it picks a free
// display number itself, so tests running in parallel never share one. On
// request a real window manager (openbox) manages its screen, with a home,
// configuration and state of its own, so what it keeps never reaches another
// test or the user's desktop.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <ostream>
#include <string>
#include <vector>

namespace qv::test {

enum class WindowManager {
    Bare,     // bare Xvfb: requests to a window manager go nowhere
    Openbox,  // openbox manages the screen before start() returns
};

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();  // stops the window manager and the server
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server and waits until it accepts clients and, with a window
    // manager, until that manager announces itself on the root window
    // (_NET_SUPPORTING_WM_CHECK); false (with error()) when Xvfb or the
    // window manager is missing or did not come up.
    // `screen` is WIDTHxHEIGHTxDEPTH.
    // `arguments` go to Xvfb after the screen (say "-dpi", "488").
    bool start(const std::string& screen = "320x240x24", WindowManager manager = WindowManager::Bare,
               const std::vector<std::string>& arguments = {});
    // Ends the window manager, then the server (SIGTERM, then SIGKILL); its
    // clients lose the connection.
    void stop();

    // Merges X resources (`text`, lines such as "Xft.dpi: 192") into the
    // server's resource database with xrdb, as a desktop's settings do when
    // the user picks a scale; false (with error()) when xrdb failed.
    bool mergeResources(const std::string& text);

    // The display name for XOpenDisplay and DISPLAY, ":<n>".
    const std::string& display() const { return m_display; }
    WindowManager windowManager() const { return m_manager; }
    // The window manager's process (for a test that checks it still runs).
    ChildProcess& windowManagerProcess() { return m_managerProcess; }
    const std::string& error() const { return m_error; }

private:
    bool startOpenbox();

    TempDir m_dir;
    ChildProcess m_process;
    ChildProcess m_managerProcess;
    WindowManager m_manager = WindowManager::Bare;
    std::string m_display;
    std::string m_error;
};

// A readable name for test parameters ("Xvfb", "Openbox").
const char* windowManagerName(WindowManager manager);
inline void PrintTo(WindowManager manager, std::ostream* out) { *out << windowManagerName(manager); }

}  // namespace qv::test
