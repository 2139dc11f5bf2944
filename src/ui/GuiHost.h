#pragma once
// The user interface as the main thread sees it: GuiHost owns the GUI thread,
// which runs the main window's message loop; it carries the callables through
// which the window asks the rest of the program for a simulator change, an
// audio restart, a test tone or an effect preview, and it holds the current
// device list for the dialogs.
//
// Threads: start, stop, setDevices, requestDeviceSetup and bringToFront are
// called from the main thread (bringToFront also from the instance lock's
// thread, requestDeviceSetup also from the GUI thread); the callables are set before start and called on the GUI thread.

#include "app/AppServices.h"
#include "audio/AudioDevice.h"
#include "platform/ConsoleMirror.h"
#include "platform/Tray.h"
#include "platform/Window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {


class GuiHost final : public IGuiHost {
public:
    GuiHost();
    ~GuiHost() override;  // stop()
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;

    // Starts the GUI thread (once). Without a display the thread prints one
    // console line and ends; the program runs on without a window.
    void start() override;
    // Ends the main window (dialogs first, innermost first) and joins the
    // GUI thread; also when the window was never shown. Idempotent.
    void stop() override;
    // Opens the device set-up wizard once the window exists and no dialog runs;
    // a request made earlier waits for that.
    void requestDeviceSetup() override;
    // Restores the window from the tray or minimised state and raises it.
    void bringToFront() override;
    // Before start() it is set at once; while the GUI runs the GUI thread
    // takes it over at its next message (applyPendingCallables), so the
    // callable is never written under a reader.
    void setSelectSimFn(std::function<void(int)> fn) override;

    void setDevices(const std::vector<PhysicalDevice>& list);
    std::vector<PhysicalDevice> devices() const;  // copy under the lock
    // Moves on with every setDevices (a new list, or new server figures in
    // it), so a reader copies the list only when it changed. Any thread.
    uint32_t devicesVersion() const { return m_devicesVersion.load(); }
    WindowHandle window() const;                  // the main window; null before shown / after end

    // Callables; each may be empty (callers skip it). Set by main before start().
    std::function<bool(int paIndex, int channels, int bufferSize)> reopenAudioFn;  // false: restart refused
    std::function<void(int simIndex)> selectSimFn;
    std::function<void(int channel, int durationMs, float gain, int streamIndex)> testToneFn;
    std::function<void(int effect, bool on)> effectPreviewFn;
    void playTestTone(int channel, int durationMs, float gain, int streamIndex);  // skips an empty callable

    // Raised when the user ends the program from the window (close, tray Exit);
    // the main thread watches it. Set by main before start(); may stay null.
    std::atomic<int32_t>* quitRequestedFlag = nullptr;
    // Non-zero once a newer version was found (the frame tick opens the
    // update dialog once). Set by main before start(); may stay null.
    std::atomic<int32_t>* updateAvailableFlag = nullptr;
    // Makes the tray icon; null or a factory returning null: no tray (close
    // to tray then minimises and says why). Set before start().
    std::function<std::unique_ptr<ITray>()> trayFactory;
    // Draws the program's icon at a size (the window's and the tray's icon);
    // empty: no icon. Set before start().
    std::function<TrayIconImage(int size)> iconRenderer;
    // The console grid the main thread publishes, shown by the console
    // window; null: that window shows an empty grid. Set before start().
    const ConsoleMirror* consoleMirror = nullptr;
    // Folder of window.ini (ends with '/'); empty: placement and window
    // options are neither read nor written. Set before start().
    std::string settingsFolder;

    // Set by the GUI thread; read by any thread.
    bool isRunning() const { return m_running.load() != 0; }
    // True once the GUI thread found no display (or could not make the window).
    bool hasNoWindow() const { return m_noWindow.load(); }

    // GUI thread: installs a selectSimFn handed over while running.
    void applyPendingCallables();
    // GUI thread: the pending device-setup request, taken once.
    bool takeDeviceSetupRequest() { return m_deviceSetupPending.exchange(false); }
    // GUI thread: the main window publishes itself here (null when it
    // ends). True when stop() was asked for already: the window then quits.
    bool publishWindow(WindowHandle window);

private:
    void threadMain();

    std::thread m_thread;
    std::atomic<int32_t> m_running{0};
    std::atomic<PlatformWindow*> m_window{nullptr};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_deviceSetupPending{false};
    std::atomic<bool> m_noWindow{false};
    mutable std::mutex m_devicesLock;
    std::vector<PhysicalDevice> m_devices;
    std::atomic<uint32_t> m_devicesVersion{0};
    std::atomic<bool> m_selectSimPending{false};
    std::function<void(int)> m_pendingSelectSim;  // under m_devicesLock
};

extern std::atomic<GuiHost*> gGuiHost;            // set while the main window runs
extern std::atomic<PlatformWindow*> gMainWindow;  // the main window while it exists

}  // namespace qv
