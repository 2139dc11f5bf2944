// Both dialogs in real dialog windows of the window layer (SDL's offscreen
// driver): the events a display server sends, a held button whose release
// is lost when the focus goes, and the way out through Close and Escape.

#include "ui/dialogs/ChannelRoutingDialog.h"
#include "ui/dialogs/ZoneSetupDialog.h"

#include "ui/AppMessages.h"
#include "ui/GuiHooks.h"

#include "DialogDriver.h"
#include "support/WindowFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

using Calls = std::vector<std::string>;

// Runs the dialog in a real window; `onShown` runs once, after the first
// paint, with the dialog's state, to queue the user's input.
std::function<void(void* state)> gOnShown;
DialogSpec gRealSpec;
bool gShown = false;

int runInWindow(const DialogSpec& spec) {
    gRealSpec = spec;
    gShown = false;
    DialogSpec wrapped = spec;
    wrapped.onPaint = [](DrawContext& context, float w, float h, void* user) {
        gRealSpec.onPaint(context, w, h, user);
        if (!gShown) {
            gShown = true;
            gOnShown(user);
        }
    };
    return runModalDialog(wrapped);
}

struct Parent {
    std::vector<uint32_t> messages;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t, intptr_t, void* user) {
        if (message >= kWmApp)
            static_cast<Parent*>(user)->messages.push_back(message);
        return 0;
    }
};

class ZoneDialogsWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        createTextFormats();
        createBrushes(0);
        gSettings.replace(HapticSettings());
        gSettings.edit([](HapticSettings& s) { s.audioDeviceIndex = 0; });
        setDialogRunner(runInWindow);
        installGuiHooks();
    }
    void TearDown() override {
        setDialogRunner(nullptr);
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        releaseGuiResources();
        WindowFixture::TearDown();
    }
    static int px(float v) { return static_cast<int>(v); }

    // Notes for every tone call whether a dialog was still open: a stop
    // made by the lost button-up comes while the dialog runs, not on its
    // way out.
    void noteDialogOpen() {
        recorder.host.testToneFn = [this](int channel, int ms, float, int) {
            recorder.calls.push_back(std::to_string(channel) + " " + std::to_string(ms) +
                                     (isDialogOpen() ? " open" : " closed"));
        };
    }

    test::RecordingHost recorder;
};

TEST_F(ZoneDialogsWindowTest, RoutingToneStopsWhenTheFocusGoesAndCloseEndsTheDialog) {
    gOnShown = [](void* user) {
        auto& state = *static_cast<ChannelRoutingState*>(user);
        WindowHandle w = currentDialogWindow();
        const RectF header = state.headerRects[1];
        pushMouseButton(w, true, px(header.centerX()), px(header.centerY()));
        pushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
        const RectF cell = state.cells[0][2].rect;
        pushMouseButton(w, true, px(cell.centerX()), px(cell.centerY()), 1, SDL_BUTTON_RIGHT);
        pushMouseButton(w, false, px(cell.centerX()), px(cell.centerY()), 1, SDL_BUTTON_RIGHT);
        const RectF close = state.buttons[kRoutingClose].rect;
        pushClick(w, px(close.centerX()), px(close.centerY()));
    };
    noteDialogOpen();
    ASSERT_NE(dialogEntries().openChannelRouting, nullptr);
    dialogEntries().openChannelRouting(nullptr, &recorder.host);
    EXPECT_FALSE(isDialogOpen());
    EXPECT_EQ(recorder.calls, (Calls{"1 500 open", "1 0 open"}));
    EXPECT_EQ(gSettings.snapshot().effectProfiles[kIRacing].routeGain[0][2], 0.0f);
}

TEST_F(ZoneDialogsWindowTest, ADoubleClickResetsAKnobRightAfterADragAndAfterThePointerLeftAndCameBack) {
    gSettings.edit([](HapticSettings& s) {
        for (int z = 0; z < 2; ++z) {
            s.zones[z].active = 1;
            s.zones[z].gain = 0.3f;
        }
    });
    gOnShown = [](void* user) {
        auto& state = *static_cast<ChannelRoutingState*>(user);
        WindowHandle w = currentDialogWindow();
        // The presses are numbered the way SDL counts its click series. A
        // hand's second press moves the pointer a pixel or two.
        const auto doubleClick = [&](int x, int y, int firstCount) {
            pushClick(w, x, y, firstCount);
            pushMouseButton(w, true, x, y, firstCount + 1);
            pushMotion(w, x, y + 2);
            pushMouseButton(w, false, x, y + 2, firstCount + 1);
        };
        // Column 0: a drag of the knob, then at once a double click.
        const int x0 = px(state.knobs[0].rect.centerX()), y0 = px(state.knobs[0].rect.centerY());
        pushMouseButton(w, true, x0, y0);
        pushMotion(w, x0, y0 - 10);
        pushMotion(w, x0, y0 - 20);
        pushMouseButton(w, false, x0, y0 - 20);
        doubleClick(x0, y0 - 20, 2);
        // Column 1: a click, the pointer out of the window and back, then a
        // double click.
        const int x1 = px(state.knobs[1].rect.centerX()), y1 = px(state.knobs[1].rect.centerY());
        pushClick(w, x1, y1);
        pushWindowEvent(w, SDL_WINDOWEVENT_LEAVE);
        pushWindowEvent(w, SDL_WINDOWEVENT_ENTER);
        doubleClick(x1, y1, 2);
        const RectF close = state.buttons[kRoutingClose].rect;
        pushClick(w, px(close.centerX()), px(close.centerY()));
    };
    ASSERT_NE(dialogEntries().openChannelRouting, nullptr);
    dialogEntries().openChannelRouting(nullptr, &recorder.host);
    EXPECT_FALSE(isDialogOpen());
    EXPECT_EQ(gSettings.snapshot().zones[0].gain, 1.0f);
    EXPECT_EQ(gSettings.snapshot().zones[1].gain, 1.0f);
}

TEST_F(ZoneDialogsWindowTest, ZoneSetupWritesThroughStopsTheLostToneAndAsksTheParentToReload) {
    Parent parent;
    WindowHandle parentWindow = makeWindow(800, 600, Parent::proc, &parent, "parent");
    ASSERT_NE(parentWindow, nullptr);
    gOnShown = [](void* user) {
        auto& state = *static_cast<ZoneSetupState*>(user);
        WindowHandle w = currentDialogWindow();
        const RectF enable = state.rows[6].enableBox;
        pushClick(w, px(enable.centerX()), px(enable.centerY()));
        const RectF test = state.rows[2].testButton;
        pushMouseButton(w, true, px(test.centerX()), px(test.centerY()));
        pushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
        pushKey(w, SDLK_ESCAPE);
    };
    noteDialogOpen();
    ASSERT_NE(dialogEntries().openZoneSetup, nullptr);
    dialogEntries().openZoneSetup(parentWindow, &recorder.host);
    EXPECT_FALSE(isDialogOpen());
    EXPECT_EQ(recorder.calls, (Calls{"2 500 open", "2 0 open"}));
    EXPECT_TRUE(gSettings.snapshot().zones[6].active);
    EXPECT_TRUE(pumpUntil([&] {
        return std::count(parent.messages.begin(), parent.messages.end(), kMsgRefreshEffects) == 1;
    }));
    destroyWindow(parentWindow);
}

}  // namespace
}  // namespace qv
