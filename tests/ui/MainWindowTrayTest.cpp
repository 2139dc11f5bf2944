// The main window with the real tray icon on a private session bus and a
// fake tray host: close to tray shows the logo icon, the host's clicks come
// back through the tray's thread into the window.

#include "platform/Tray.h"
#include "settings/LiveSettings.h"
#include "support/Eventually.h"
#include "support/FakeTrayHost.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/Logo.h"
#include "ui/MainWindow.h"
#include "ui/PopupMenu.h"
#include "ui/WindowSettings.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include <atomic>
#include <cstdlib>
#include <functional>

namespace qv {
namespace {

std::function<void(WindowHandle)> gScript;
std::atomic<int> gPopupMenus{0};
int gMinimises = 0;

class MainWindowTrayTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(bus.start()) << bus.error();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
        trayHost = std::make_unique<test::FakeTrayHost>(bus.address());
        gScript = nullptr;
        gPopupMenus = 0;
        gMinimises = 0;
        static const WindowSystemObserver observer{nullptr, [](WindowHandle, ShowCommand command) {
                                                       gMinimises += command == ShowCommand::Minimize;
                                                   }};
        setWindowSystemObserver(&observer);
        installGuiHooks();
        setProfileBaseFolder(dir.path());
        resetMainWindowBands();
        dialogEntries() = DialogEntries{};
        // The window's script runs as the device wizard, opened for the
        // request made before the window existed.
        dialogEntries().openDeviceWizard = [](WindowHandle w, GuiHost*) {
            auto script = std::move(gScript);
            gScript = nullptr;
            if (script)
                script(w);
        };
        quit = 0;
        host.quitRequestedFlag = &quit;
        host.settingsFolder = dir.path();
        host.trayFactory = [] { return createStatusNotifierTray(); };
        host.iconRenderer = [](int size) { return renderLogoIcon(size); };
        gSettings.replace(HapticSettings{});
        ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    }
    void TearDown() override {
        setPopupMenuRunner(nullptr);
        setWindowSystemObserver(nullptr);
        resetMainWindowBands();
        setProfileBaseFolder({});
        dialogEntries() = DialogEntries{};
        trayHost.reset();
        bus.stop();
        WindowFixture::TearDown();
    }

    bool run(std::function<void(WindowHandle)> script) {
        gScript = [script = std::move(script)](WindowHandle w) {
            script(w);
            postWindowMessage(w, kMsgQuit, 0, 0);
        };
        host.requestDeviceSetup();
        return runMainWindow(&host);
    }
    // The window after a close request from the window system.
    bool closeToTray(WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        return pumpUntil([&] { return mainWindowState().inTray; });
    }
    bool restored(WindowHandle w) {
        return pumpUntil([&] { return !mainWindowState().inTray && isWindowVisible(w); });
    }

    test::TempDir dir;
    test::SessionBus bus;
    std::unique_ptr<test::FakeTrayHost> trayHost;
    GuiHost host;
    std::atomic<int32_t> quit{0};
};

TEST_F(MainWindowTrayTest, TheTrayShowsTheLogoAndItsClicksRestoreAndEndTheProgram) {
    ASSERT_TRUE(trayHost->startWatcher()) << trayHost->error();
    bool inTray = false, activated = false, restoredByMenu = false, poppedUp = false, registeredThrice = false;
    std::vector<int> sizes;
    std::string tooltip;
    ASSERT_TRUE(run([&](WindowHandle w) {
        inTray = closeToTray(w) && !isWindowVisible(w) && trayHost->waitForRegistrations(1);
        sizes = trayHost->iconSizes();
        tooltip = trayHost->toolTipTitle();
        // A left click on the icon.
        activated = trayHost->callItem("Activate", 0, 0) && restored(w);

        // The host's own menu: "Restore".
        closeToTray(w);
        const std::vector<test::TrayMenuEntry> entries = trayHost->menuEntries();
        restoredByMenu = entries.size() == 3 && trayHost->clickMenuEntry(entries[0].id) && restored(w);

        // A host that asks for our menu at a point gets the window's popup.
        setPopupMenuRunner([](WindowHandle, float, float, const PopupMenuItem* items, int count) {
            ++gPopupMenus;
            return count == 3 ? items[0].id : 0;  // "Restore"
        });
        closeToTray(w);
        poppedUp = trayHost->callItem("ContextMenu", 300, 200) && restored(w) && gPopupMenus.load() == 1;

        // "Exit" from the host's menu ends the program.
        closeToTray(w);
        registeredThrice = trayHost->waitForRegistrations(4);
        const std::vector<test::TrayMenuEntry> again = trayHost->menuEntries();
        if (again.size() == 3 && trayHost->clickMenuEntry(again[2].id))
            pumpUntil([&] { return quit.load() == 1; });
    }));
    EXPECT_TRUE(inTray);
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 24, 32, 48, 64})) << trayHost->error();
    EXPECT_EQ(tooltip, "Quor Vane");
    EXPECT_TRUE(activated) << trayHost->error();
    EXPECT_TRUE(restoredByMenu) << trayHost->error();
    EXPECT_TRUE(poppedUp) << trayHost->error();
    EXPECT_TRUE(registeredThrice);
    EXPECT_EQ(quit.load(), 1);
    // The window's end took the icon off the bus.
    const std::vector<std::string> items = trayHost->registrations();
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(test::eventually([&] { return !trayHost->nameHasOwner(items.back()); }));
}

TEST_F(MainWindowTrayTest, WithoutATrayHostCloseMinimisesAndSaysWhy) {
    bool visible = false;
    std::string why;
    ASSERT_TRUE(run([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return gMinimises == 1; });
        visible = isWindowVisible(w);
        why = mainWindowState().trayError;
    }));
    EXPECT_TRUE(visible);
    EXPECT_EQ(gMinimises, 1);
    EXPECT_FALSE(mainWindowState().inTray);
    EXPECT_EQ(why, "no tray host is running (no StatusNotifierWatcher on the session bus)");
}

}  // namespace
}  // namespace qv
