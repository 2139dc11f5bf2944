#include "ui/GuiHost.h"

#include "platform/Tray.h"

namespace qv {

std::atomic<GuiHost*> gGuiHost{nullptr};
std::atomic<PlatformWindow*> gMainWindow{nullptr};

GuiHost::GuiHost() = default;

GuiHost::~GuiHost() { stop(); }

void GuiHost::start() {}

void GuiHost::stop() {}

void GuiHost::requestDeviceSetup() { m_deviceSetupPending.store(true); }

void GuiHost::bringToFront() {}

void GuiHost::setSelectSimFn(std::function<void(int)> fn) { selectSimFn = std::move(fn); }

void GuiHost::setDevices(const std::vector<PhysicalDevice>& list) {
    std::lock_guard lock(m_devicesLock);
    if (&list != &m_devices)
        m_devices = list;
}

std::vector<PhysicalDevice> GuiHost::devices() const {
    std::lock_guard lock(m_devicesLock);
    return m_devices;
}

WindowHandle GuiHost::window() const { return m_window.load(); }

void GuiHost::setWindow(WindowHandle window) { m_window.store(window); }

void GuiHost::playTestTone(int channel, int durationMs, float gain, int streamIndex) {
    if (testToneFn)
        testToneFn(channel, durationMs, gain, streamIndex);
}

}  // namespace qv
