// The popup menu and the drawn message boxes on SDL's dummy video driver,
// and an offscreen render of the empty main window for review.

#include "settings/LiveSettings.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"
#include "ui/panels/MainWindowBands.h"

#include <filesystem>

namespace qv {
namespace {

const PopupMenuItem kItems[] = {{1, "Restore"}, {0, nullptr, true}, {2, "Exit"}, {3, "Disabled", false, false}};

class PopupMenuTest : public test::WindowFixture {};

// The menu's rows at 96 dpi: padding 4, items 28, separator 9.
constexpr int kRestoreY = 4 + 14, kExitY = 4 + 28 + 9 + 14, kDisabledY = 4 + 28 + 9 + 28 + 14;

std::function<void(WindowHandle)> gAct;

// Runs the menu from a dialog's message handler; the test's action runs
// inside the menu's loop, where the menu window holds the capture.
int runMenuWith(std::function<void(WindowHandle)> act) {
    gAct = std::move(act);
    static int result;
    result = -1;
    DialogSpec spec;
    spec.width = spec.height = 300;
    spec.onPaint = [](DrawContext&, float, float, void*) {
        static WindowHandle posted = nullptr;
        if (posted != currentDialogWindow()) {
            posted = currentDialogWindow();
            postWindowMessage(posted, kWmApp + 1, 0, 0);
        }
    };
    spec.onMessage = [](uint32_t message, uintptr_t, intptr_t, void*) {
        if (message == kWmApp + 1) {
            postWindowMessage(currentDialogWindow(), kWmApp + 2, 0, 0);
            result = runPopupMenu(currentDialogWindow(), 10, 10, kItems, 4);
            closeDialog(0);
        } else if (message == kWmApp + 2 && gAct) {
            gAct(mouseCaptureWindow());
        }
        return false;
    };
    runModalDialog(spec);
    return result;
}

TEST_F(PopupMenuTest, ReturnsTheChosenIdOrZeroWhenDismissed) {
    struct Case {
        const char* name;
        std::function<void(WindowHandle)> act;
        int expected;
    } cases[] = {
        {"click Exit", [](WindowHandle m) { pushClick(m, 50, kExitY); }, 2},
        {"click Restore", [](WindowHandle m) { pushClick(m, 50, kRestoreY); }, 1},
        {"Escape", [](WindowHandle m) { pushKey(m, SDLK_ESCAPE); }, 0},
        {"click outside", [](WindowHandle m) { pushClick(m, 500, 500); }, 0},
        {"keys: down twice skips the separator, Enter",
         [](WindowHandle m) {
             pushKey(m, SDLK_DOWN);
             pushKey(m, SDLK_DOWN);
             pushKey(m, SDLK_RETURN);
         },
         2},
        {"the disabled item does not choose, Escape then",
         [](WindowHandle m) {
             pushClick(m, 50, kDisabledY);
             pushKey(m, SDLK_ESCAPE);
         },
         0},
        {"a release without a press in the menu does not choose",
         [](WindowHandle m) {
             pushMouseButton(m, false, 50, kExitY);
             pushKey(m, SDLK_ESCAPE);
         },
         0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runMenuWith(c.act), c.expected) << c.name;
}

TEST_F(PopupMenuTest, ARunnerInstalledByATestReplacesTheMenu) {
    setPopupMenuRunner([](WindowHandle, float, float, const PopupMenuItem* items, int count) {
        return count == 4 ? items[2].id : -1;
    });
    EXPECT_EQ(runPopupMenu(nullptr, 0, 0, kItems, 4), 2);
    setPopupMenuRunner(nullptr);
    EXPECT_EQ(runPopupMenu(nullptr, 0, 0, kItems, 0), 0);
}

class MessageBoxTest : public test::WindowFixture {};

std::function<void(WindowHandle)> gBoxAct;

// Opens the box from a dialog so the test can act on it once it runs.
template <typename Open>
void withBox(Open open, std::function<void(WindowHandle)> act) {
    gBoxAct = std::move(act);
    static Open* opener;
    opener = &open;
    DialogSpec spec;
    spec.width = spec.height = 200;
    spec.onMessage = [](uint32_t message, uintptr_t, intptr_t, void*) {
        if (message == kWmApp + 1) {
            postWindowMessage(currentDialogWindow(), kWmApp + 2, 0, 0);
            (*opener)(currentDialogWindow());
            closeDialog(0);
        } else if (message == kWmApp + 2) {
            gBoxAct(currentDialogWindow());  // the box is the innermost dialog now
        }
        return false;
    };
    spec.onPaint = [](DrawContext&, float, float, void*) {
        static WindowHandle posted = nullptr;
        if (posted != currentDialogWindow()) {
            posted = currentDialogWindow();
            postWindowMessage(posted, kWmApp + 1, 0, 0);
        }
    };
    runModalDialog(spec);
}

TEST_F(MessageBoxTest, YesNoAnswersNoByDefaultAndYesWhenChosen) {
    struct Case {
        const char* name;
        std::function<void(WindowHandle)> act;
        bool expected;
    } cases[] = {
        {"Enter", [](WindowHandle b) { pushKey(b, SDLK_RETURN); }, false},
        {"Escape", [](WindowHandle b) { pushKey(b, SDLK_ESCAPE); }, false},
        {"close box", [](WindowHandle b) { pushWindowEvent(b, SDL_WINDOWEVENT_CLOSE); }, false},
        {"Tab then Enter", [](WindowHandle b) { pushKey(b, SDLK_TAB); pushKey(b, SDLK_RETURN); }, true},
    };
    for (const Case& c : cases) {
        bool answer = !c.expected;
        withBox([&](WindowHandle parent) { answer = messageBoxes().askYesNo(parent, "Question", "Delete the profile?"); },
                c.act);
        EXPECT_EQ(answer, c.expected) << c.name;
    }
}

TEST_F(MessageBoxTest, AnInfoBoxClosesOnEnterAndAFakeCanBeInstalled) {
    bool shown = false;
    withBox([&](WindowHandle parent) { messageBoxes().show(parent, "Info", "Saved.", MessageKind::Info); shown = true; },
            [](WindowHandle b) { pushKey(b, SDLK_RETURN); });
    EXPECT_TRUE(shown);
    struct Fake : IMessageBoxes {
        int shows = 0;
        void show(WindowHandle, const char*, const char*, MessageKind) override { ++shows; }
        bool askYesNo(WindowHandle, const char*, const char*) override { return true; }
    } fake;
    setMessageBoxes(&fake);
    messageBoxes().show(nullptr, "t", "x", MessageKind::Warning);
    EXPECT_TRUE(messageBoxes().askYesNo(nullptr, "t", "x"));
    setMessageBoxes(nullptr);
    EXPECT_EQ(fake.shows, 1);
}

TEST_F(MessageBoxTest, TheMainWindowRendersItsBackgroundAndBandFrames) {
    createTextFormats();
    createBrushes(0);
    resetMainWindowBands();
    auto image = ImageTarget::create(1500, 860);
    ASSERT_TRUE(image);
    paintMainWindow(image->context(), 1500, 860, 0);
    image->finish();
    // The header's strip, the background between the cards and the control
    // panel, and the panel's body.
    EXPECT_TRUE(test::colorNear(image->pixel(562, 28), {22, 25, 32, 255}));
    EXPECT_TRUE(test::colorNear(image->pixel(1108, 400), {16, 18, 22, 255}));
    EXPECT_TRUE(test::colorNear(image->pixel(1125, 140), {22, 25, 32, 255}));
    std::filesystem::create_directories(QV_RENDERS_DIR);
    EXPECT_TRUE(image->savePng(std::string(QV_RENDERS_DIR) + "/main_window_empty.png"));
    releaseGuiResources();
}

}  // namespace
}  // namespace qv
