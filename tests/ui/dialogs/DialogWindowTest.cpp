// The dialogs as real modal windows on SDL's offscreen driver: each opens
// through its entry, paints, takes input from the window system and closes
// with Escape.

#include "ui/dialogs/LatencyDialog.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/UpdateDialogs.h"

#include "audio/AudioStatus.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"

#include <functional>

namespace qv::test {
namespace {

class DialogWindowTest : public WindowFixture {
protected:
    void TearDown() override {
        releaseGuiResources();
        WindowFixture::TearDown();
    }
};

std::function<void(WindowHandle)> gAct;

// Runs `open` from a host dialog and acts on the innermost dialog once it runs.
int openAndAct(std::function<int(WindowHandle)> open, std::function<void(WindowHandle)> act) {
    static std::function<int(WindowHandle)> opener;
    static int result;
    opener = std::move(open);
    gAct = std::move(act);
    result = -2;
    DialogSpec spec;
    spec.width = spec.height = 100;
    spec.onMessage = [](uint32_t message, uintptr_t, intptr_t, void*) {
        if (message == kWmApp + 1) {
            postWindowMessage(currentDialogWindow(), kWmApp + 2, 0, 0);
            result = opener(currentDialogWindow());
            closeDialog(0);
        } else if (message == kWmApp + 2) {
            gAct(currentDialogWindow());
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
    return result;
}

TEST_F(DialogWindowTest, EachDialogOpensFromItsEntryAndClosesWithEscape) {
    resetAudioStatus();
    DialogEntries saved = dialogEntries();
    installSettingsDialogs();
    const DialogEntries entries = dialogEntries();
    dialogEntries() = saved;
    ASSERT_TRUE(entries.openSettings && entries.openUpdateDialog && entries.openReleaseNotes && entries.openLatencyTest);

    const auto escape = [](WindowHandle w) { pushKey(w, SDLK_ESCAPE); };
    EXPECT_EQ(openAndAct([](WindowHandle p) { return showSettingsDialog(p); },
                         [](WindowHandle w) {
                             pushClick(w, 100, 72);  // opens the accent list
                             pushKey(w, SDLK_ESCAPE);
                         }),
              0);
    EXPECT_EQ(openAndAct([](WindowHandle p) { return showReleaseNotes(p); }, escape), 0);
    EXPECT_EQ(openAndAct([](WindowHandle p) { return measureLatencyDialog(p); }, escape), 0);
    EXPECT_EQ(openAndAct(
                  [](WindowHandle p) {
                      showUpdateDialog(p);
                      return 0;
                  },
                  escape),
              0);
    EXPECT_EQ(dialogDepth(), 0);
}

}  // namespace
}  // namespace qv::test
