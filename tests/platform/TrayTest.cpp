// The tray icon against a fake tray host on a private session bus: what a
// panel sees of the item and its menu, and what reaches the callbacks.

#include "platform/Tray.h"

#include "support/Eventually.h"
#include "support/FakeTrayHost.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qv {
namespace {

using test::eventually;
using test::FakeTrayHost;
using test::TrayMenuEntry;

// A test image: every pixel the same.
TrayIconImage solidIcon(int size, uint32_t argb) {
    TrayIconImage icon;
    icon.size = size;
    icon.argb.assign(static_cast<size_t>(size) * size, argb);
    return icon;
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.start()) << bus.error();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
        host = std::make_unique<FakeTrayHost>(bus.address());
    }
    void TearDown() override {
        tray.reset();
        host.reset();
        bus.stop();
    }

    TrayCallbacks callbacks() {
        TrayCallbacks c;
        c.activate = [this] { ++activated; };
        c.restore = [this] { ++restored; };
        c.exit = [this] { ++exited; };
        c.contextMenu = [this](int x, int y) {
            menuX = x;
            menuY = y;
            ++menus;
        };
        return c;
    }
    bool add() { return tray->add(callbacks(), {solidIcon(16, 0xFF102030), solidIcon(32, 0xFF102030)}, "Quor Vane"); }

    test::SessionBus bus;
    std::unique_ptr<FakeTrayHost> host;
    std::unique_ptr<ITray> tray = createStatusNotifierTray();
    std::atomic<int> activated{0}, restored{0}, exited{0}, menus{0}, menuX{0}, menuY{0};
};

TEST_F(TrayTest, TheItemRegistersAndShowsItsTitleTooltipAndMenu) {
    ASSERT_TRUE(host->startWatcher()) << host->error();
    ASSERT_TRUE(add()) << tray->lastError();
    EXPECT_TRUE(tray->isAdded());
    EXPECT_EQ(tray->lastError(), "");
    ASSERT_TRUE(host->waitForRegistrations(1));
    EXPECT_EQ(host->registrations()[0].rfind("org.kde.StatusNotifierItem-", 0), 0u) << host->registrations()[0];

    const struct {
        const char* property;
        const char* value;
    } strings[] = {{"Title", "Quor Vane"}, {"Category", "ApplicationStatus"}, {"Status", "Active"}, {"Id", "quorvane"}};
    for (const auto& row : strings)
        EXPECT_EQ(host->stringProperty(row.property), row.value) << row.property << ": " << host->error();
    EXPECT_EQ(host->toolTipTitle(), "Quor Vane") << host->error();
    EXPECT_FALSE(host->boolProperty("ItemIsMenu"));
    EXPECT_EQ(host->error(), "");
    EXPECT_EQ(host->objectPathProperty("Menu"), "/MenuBar");
    EXPECT_EQ(host->menuVersion(), 3u) << host->error();
    const std::vector<TrayMenuEntry> entries = host->menuEntries();
    ASSERT_EQ(entries.size(), 3u) << host->error();
    EXPECT_EQ(entries[0].label, "Restore");
    EXPECT_EQ(entries[0].type, "");
    EXPECT_EQ(entries[1].type, "separator");
    EXPECT_EQ(entries[2].label, "Exit");
    EXPECT_EQ(entries[2].type, "");
}

TEST_F(TrayTest, IconsReachTheHostAsBigEndianArgbAndBadImagesAreLeftOut) {
    ASSERT_TRUE(host->startWatcher()) << host->error();
    TrayIconImage gradient = solidIcon(22, 0);
    for (size_t i = 0; i < gradient.argb.size(); ++i)
        gradient.argb[i] = 0x80000000u | static_cast<uint32_t>(i);
    TrayIconImage shortRows = solidIcon(24, 0xFFFFFFFF);
    shortRows.argb.pop_back();
    std::vector<TrayIconImage> icons = {solidIcon(16, 0xFF4A4AFF), gradient, shortRows, solidIcon(0, 0),
                                        solidIcon(300, 0xFF000000), solidIcon(64, 0x00000000)};
    ASSERT_TRUE(tray->add(callbacks(), icons, "Quor Vane")) << tray->lastError();
    ASSERT_TRUE(host->waitForRegistrations(1));

    EXPECT_EQ(host->iconSizes(), (std::vector<int>{16, 22, 64})) << host->error();
    EXPECT_EQ(host->iconPixel(0, 5, 5), 0xFF4A4AFFu);
    EXPECT_EQ(host->iconPixel(1, 0, 0), 0x80000000u);
    EXPECT_EQ(host->iconPixel(1, 3, 2), 0x80000000u | (2 * 22 + 3));
    EXPECT_EQ(host->iconPixel(2, 63, 63), 0x00000000u);
}

TEST_F(TrayTest, ClicksOnTheItemAndItsMenuReachTheCallbacks) {
    ASSERT_TRUE(host->startWatcher()) << host->error();
    ASSERT_TRUE(add()) << tray->lastError();
    ASSERT_TRUE(host->waitForRegistrations(1));

    // Each call returns after the item handled it.
    ASSERT_TRUE(host->callItem("Activate", 10, 20)) << host->error();
    EXPECT_EQ(activated.load(), 1);
    ASSERT_TRUE(host->callItem("ContextMenu", 1210, 1045)) << host->error();
    EXPECT_EQ(menus.load(), 1);
    EXPECT_EQ(menuX.load(), 1210);
    EXPECT_EQ(menuY.load(), 1045);
    ASSERT_TRUE(host->callItem("SecondaryActivate", 0, 0)) << host->error();

    const std::vector<TrayMenuEntry> entries = host->menuEntries();
    ASSERT_EQ(entries.size(), 3u) << host->error();
    ASSERT_TRUE(host->clickMenuEntry(entries[2].id)) << host->error();
    EXPECT_EQ(exited.load(), 1);
    EXPECT_EQ(restored.load(), 0);
    ASSERT_TRUE(host->clickMenuEntry(entries[0].id)) << host->error();
    EXPECT_EQ(restored.load(), 1);
    ASSERT_TRUE(host->clickMenuEntry(entries[1].id)) << host->error();  // the separator does nothing
    EXPECT_FALSE(host->clickMenuEntry(42));
    EXPECT_NE(host->error().find("no menu entry with id 42"), std::string::npos) << host->error();
    EXPECT_EQ(activated.load(), 1);
    EXPECT_EQ(restored.load(), 1);
    EXPECT_EQ(exited.load(), 1);
    EXPECT_EQ(menus.load(), 1);
}

TEST_F(TrayTest, WithoutATrayHostAddFailsAndSaysWhy) {
    test::TempDir dir;
    const struct {
        const char* busAddress;  // null: no session bus named at all
        const char* error;
    } cases[] = {
        {"", "no tray host is running (no StatusNotifierWatcher on the session bus)"},
        {"unix:path=/nonexistent/qv-no-bus", "no tray host is running (cannot connect to the session bus: "},
        {nullptr, "no tray host is running (no session bus: DBUS_SESSION_BUS_ADDRESS is not set)"},
    };
    for (const auto& row : cases) {
        if (!row.busAddress) {
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
            ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);  // a folder without a bus socket
        } else {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", row.busAddress[0] ? row.busAddress : bus.address().c_str(), 1);
        }
        auto lonely = createStatusNotifierTray();
        EXPECT_FALSE(lonely->add(callbacks(), {solidIcon(16, 0xFF000000)}, "Quor Vane"));
        EXPECT_FALSE(lonely->isAdded());
        EXPECT_EQ(lonely->lastError().rfind(row.error, 0), 0u) << lonely->lastError();
        lonely->remove();
        lonely->remove();
    }
}

// A bus that takes the connection but never answers: the start gives up on
// its own instead of holding the caller.
TEST_F(TrayTest, ABusThatNeverAnswersEndsTheStartWithAMessage) {
    test::TempDir dir;
    const std::string path = dir.file("silent-bus");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);

    EXPECT_FALSE(add());
    EXPECT_FALSE(tray->isAdded());
    EXPECT_EQ(tray->lastError(), "no tray host is running (the session bus did not answer within 5 s)");
    ::close(listener);
}

TEST_F(TrayTest, RemoveTakesTheItemOffTheBusAndItCanComeBack) {
    ASSERT_TRUE(host->startWatcher()) << host->error();
    ASSERT_TRUE(add()) << tray->lastError();
    ASSERT_TRUE(host->waitForRegistrations(1));
    const std::string first = host->registrations()[0];
    EXPECT_TRUE(host->nameHasOwner(first));
    EXPECT_TRUE(add());  // already there: nothing changes
    EXPECT_EQ(host->registrations().size(), 1u);

    tray->remove();
    EXPECT_FALSE(tray->isAdded());
    EXPECT_TRUE(eventually([&] { return !host->nameHasOwner(first); }));
    tray->remove();

    ASSERT_TRUE(add()) << tray->lastError();
    ASSERT_TRUE(host->waitForRegistrations(2));
    ASSERT_TRUE(host->callItem("Activate", 0, 0)) << host->error();
    EXPECT_EQ(activated.load(), 1);
}

TEST_F(TrayTest, AWatcherThatStartsLaterGetsTheItemAgain) {
    ASSERT_TRUE(host->startWatcher()) << host->error();
    ASSERT_TRUE(add()) << tray->lastError();
    ASSERT_TRUE(host->waitForRegistrations(1));
    host->stopWatcher();

    FakeTrayHost restarted(bus.address());
    ASSERT_TRUE(restarted.startWatcher()) << restarted.error();
    ASSERT_TRUE(restarted.waitForRegistrations(1));
    EXPECT_EQ(restarted.registrations()[0], host->registrations()[0]);
    ASSERT_TRUE(restarted.callItem("Activate", 0, 0)) << restarted.error();
    EXPECT_EQ(activated.load(), 1);
}

}  // namespace
}  // namespace qv
