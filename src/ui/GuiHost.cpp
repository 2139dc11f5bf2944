#include "ui/GuiHost.h"

#include "app/AppGlobals.h"
#include "platform/DesktopDpi.h"
#include "platform/Output.h"
#include "platform/graphics/Graphics.h"
#include "ui/AppMessages.h"
#include "ui/GuiHooks.h"
#include "ui/MainWindow.h"

#include <pthread.h>

namespace qv {

std::atomic<GuiHost*> gGuiHost{nullptr};
std::atomic<PlatformWindow*> gMainWindow{nullptr};

GuiHost::GuiHost() : quitRequestedFlag(&gQuitRequested) {}

GuiHost::~GuiHost() { stop(); }

void GuiHost::start() {
    if (m_running.exchange(1) != 0)
        return;
    m_stopRequested.store(false);
    m_noWindow.store(false);
    m_thread = std::thread([this] { threadMain(); });
}

void GuiHost::threadMain() {
    pthread_setname_np(pthread_self(), "qv-gui");  // as top -H and the tests see it
    std::string error;
    if (!windowSystemInit(&error)) {
        outWrite("  Quor Vane runs on without a window: " + error + ".\n");
        m_noWindow.store(true);
        return;
    }
    if (const std::string note = windowSystemNote(); !note.empty())
        outWrite("  " + note + ".\n");
    // A QUORVANE_DPI that is set but not used is said once; the window then
    // takes the desktop's scale.
    if (const DpiOverride dpi = dpiOverrideFromEnvironment(); !dpi.problem.empty())
        outWrite("  " + dpi.problem + ".\n");
    if (!graphicsInit())
        errPrint("  WARNING: text cannot be drawn: %s\n", lastGraphicsError().c_str());
    installGuiHooks();
    clearQuitMessage();
    if (!m_stopRequested.load() && !runMainWindow(this))
        m_noWindow.store(true);
    graphicsShutdown();
    windowSystemShutdown(false);
}

void GuiHost::stop() {
    if (m_running.exchange(0) == 0)
        return;
    // Seen by the GUI thread when it publishes the window, if it has not yet.
    m_stopRequested.store(true);
    if (PlatformWindow* window = m_window.load())
        postWindowMessage(window, kMsgQuit, 0, 0);
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            errPrint("  ERROR: GuiHost::stop called on the GUI thread; the thread is left running\n");
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
    m_window.store(nullptr);
    applyPendingCallables();
}

void GuiHost::requestDeviceSetup() {
    // Kept until the window exists and no dialog runs, so a first run always
    // gets the wizard.
    m_deviceSetupPending.store(true);
    if (PlatformWindow* window = m_window.load())
        postWindowMessage(window, kMsgDeviceSetup, 0, 0);
}

void GuiHost::bringToFront() {
    if (PlatformWindow* window = m_window.load())
        postWindowMessage(window, kMsgBringToFront, kBringToFrontRestore, 0);
}

void GuiHost::setSelectSimFn(std::function<void(int)> fn) {
    if (m_running.load() == 0) {
        selectSimFn = std::move(fn);
        return;
    }
    std::lock_guard lock(m_devicesLock);
    m_pendingSelectSim = std::move(fn);
    m_selectSimPending.store(true);
}

void GuiHost::applyPendingCallables() {
    if (!m_selectSimPending.exchange(false))
        return;
    std::lock_guard lock(m_devicesLock);
    selectSimFn = std::move(m_pendingSelectSim);
    m_pendingSelectSim = nullptr;
}

void GuiHost::setDevices(const std::vector<PhysicalDevice>& list) {
    std::lock_guard lock(m_devicesLock);
    if (&list != &m_devices)
        m_devices = list;
    m_devicesVersion.fetch_add(1);
}

std::vector<PhysicalDevice> GuiHost::devices() const {
    std::lock_guard lock(m_devicesLock);
    return m_devices;
}

WindowHandle GuiHost::window() const { return m_window.load(); }

bool GuiHost::publishWindow(WindowHandle window) {
    m_window.store(window);
    return window && m_stopRequested.load();
}

void GuiHost::playTestTone(int channel, int durationMs, float gain, int streamIndex) {
    if (testToneFn)
        testToneFn(channel, durationMs, gain, streamIndex);
}

}  // namespace qv
