// The zone setup dialog driven through its callbacks after one offscreen
// paint, with a host that records every tone call and fake message boxes.

#include "ui/dialogs/ZoneSetupDialog.h"

#include "ui/MessageBox.h"

#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

using test::RecordingHost;
using Calls = std::vector<std::string>;

class RecordingBoxes final : public IMessageBoxes {
public:
    void show(WindowHandle, const char* title, const char* text, MessageKind kind) override {
        shown.push_back(std::string(title) + ": " + text);
        kinds.push_back(kind);
    }
    bool askYesNo(WindowHandle, const char*, const char*) override { return false; }
    std::vector<std::string> shown;
    std::vector<MessageKind> kinds;
};

ZoneConfig zone(int z) { return gSettings.snapshot().zones[z]; }

class ZoneSetupTest : public test::DialogFixture {
protected:
    void SetUp() override {
        DialogFixture::SetUp();
        // One configured device with 8 channels; zones 4..7 named as in a
        // fresh configuration.
        edit([](HapticSettings& s) {
            s.audioDeviceIndex = 0;
            s.devices[0].channels = 8;
            for (int k = 0; k < kExtraZoneCount; ++k)
                copyText(s.zones[4 + k].name, kExtraZoneNames[k]);
        });
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        DialogFixture::TearDown();
    }
    void open() {
        initZoneSetup(state, &recorder.host);
        driver = std::make_unique<test::DialogDriver>(zoneSetupSpec(state, nullptr));
        driver->paint();
    }
    void press(const RectF& r) { driver->click(r.centerX(), r.centerY()); }
    PointF knobCentre(int z) const { return PointF{state.knobs[z].rect.centerX(), state.knobs[z].rect.centerY()}; }

    RecordingHost recorder;
    ZoneSetupState state;
    std::unique_ptr<test::DialogDriver> driver;
};

TEST_F(ZoneSetupTest, WithoutADeviceOnlyTheHintIsShown) {
    edit([](HapticSettings& s) { s.audioDeviceIndex = -1; });
    RecordingBoxes boxes;
    setMessageBoxes(&boxes);
    int runs = 0;
    test::installTestRunner([&](const DialogSpec&) { return ++runs, 0; });
    openZoneSetup(nullptr, &recorder.host);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(boxes.shown,
              (Calls{"Zone Setup: Please run Setup Wizard first to configure your audio device."}));
    EXPECT_EQ(boxes.kinds, (std::vector<MessageKind>{MessageKind::Info}));

    edit([](HapticSettings& s) { s.audioDeviceIndex = 0; });
    openZoneSetup(nullptr, &recorder.host);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(ZoneSetupTest, ChannelArrowsWrapWithinTheZonesDevice) {
    struct Case {
        int channels;  // of the zone's device; 0 = automatic
        int from;
        bool forward;
        int to;
    };
    const Case cases[] = {
        {2, 1, true, 0},  {2, 0, false, 1}, {2, 0, true, 1},
        {2, -1, true, 0}, {2, -1, false, 1},  // from "none": the first or the last channel
        {0, 7, true, 0},  {0, 0, false, 7},   // a device without a count offers 8
        {2, 5, true, 0},                      // a channel the device lacks starts over
    };
    for (const Case& c : cases) {
        edit([&](HapticSettings& s) {
            s.devices[0].channels = c.channels;
            s.zones[4].active = 1;
            s.zones[4].device = 0;
            s.zones[4].channel = c.from;
        });
        open();
        press(c.forward ? state.rows[4].channelRight : state.rows[4].channelLeft);
        EXPECT_EQ(zone(4).channel, c.to) << c.channels << " channels from " << c.from;
        EXPECT_TRUE(gSettings.takeDirty());
    }
    // A disabled zone's arrows do nothing.
    edit([](HapticSettings& s) { s.zones[5].active = 0; s.zones[5].channel = 3; });
    open();
    press(state.rows[5].channelRight);
    EXPECT_EQ(zone(5).channel, 3);
}

TEST_F(ZoneSetupTest, DeviceButtonsWorkOnlyWithTwoDevices) {
    edit([](HapticSettings& s) {
        s.zones[1].channel = 1;
        s.devices[1].channels = 2;
    });
    open();
    press(state.rows[1].deviceHalves[1]);
    EXPECT_EQ(zone(1).device, 0);
    EXPECT_EQ(zone(1).channel, 1);

    edit([](HapticSettings& s) { s.numDevices = 2; });
    open();
    press(state.rows[1].deviceHalves[1]);
    EXPECT_EQ(zone(1).device, 1);
    EXPECT_EQ(zone(1).channel, 0);
    // Now on the second device, whose two channels wrap.
    press(state.rows[1].channelLeft);
    EXPECT_EQ(zone(1).channel, 1);
    gSettings.takeDirty();
    press(state.rows[1].deviceHalves[1]);  // already selected: nothing changes
    EXPECT_EQ(zone(1).channel, 1);
    EXPECT_FALSE(gSettings.takeDirty());
    press(state.rows[1].deviceHalves[0]);
    EXPECT_EQ(zone(1).device, 0);
    EXPECT_EQ(zone(1).channel, 0);
}

TEST_F(ZoneSetupTest, ApplyStoresDefaultNamesForEmptiedFieldsAndTurnsAllZonesOn) {
    edit([](HapticSettings& s) { s.zones[5].active = 1; s.zones[6].active = 1; });
    open();
    press(state.fields[1].rect);  // zone 5's name
    ASSERT_EQ(state.focusedField, 1);
    for (int i = 0; i < 10; ++i)
        driver->key(kVkBack);
    EXPECT_STREQ(state.fields[1].text, "");
    press(state.fields[2].rect);  // zone 6: type a name
    driver->key(kVkBack);
    driver->typed('X');
    press(state.apply.rect);
    EXPECT_EQ(state.closeCode, 1);
    EXPECT_STREQ(zone(5).name, "Custom 1");
    EXPECT_STREQ(zone(6).name, "Custom X");
    EXPECT_STREQ(state.knobs[5].caption, "Custom 1");
    EXPECT_EQ(gSettings.snapshot().numActiveZones, 8);
    EXPECT_TRUE(gSettings.takeDirty());
}

TEST_F(ZoneSetupTest, CloseKeepsToggledZonesButLeavesTheActiveCount) {
    open();
    press(state.rows[6].enableBox);
    press(state.rows[0].enableBox);
    EXPECT_TRUE(gSettings.takeDirty());
    press(state.close.rect);
    EXPECT_EQ(state.closeCode, 0);
    EXPECT_TRUE(zone(6).active);
    EXPECT_FALSE(zone(0).active);
    EXPECT_EQ(gSettings.snapshot().numActiveZones, 4);
}

TEST_F(ZoneSetupTest, NamesAreAtMostFifteenCharacters) {
    edit([](HapticSettings& s) {
        s.zones[4].active = 1;
        s.zones[7].active = 1;
        // From a file: 14 letters and a two-byte character, then more.
        copyText(s.zones[7].name, "abcdefghijklmn\xc3\xa9xyz");
    });
    open();
    EXPECT_STREQ(state.zones[7].name, "abcdefghijklmn");
    EXPECT_STREQ(state.knobs[7].caption, "abcdefghijklmn");
    press(state.fields[0].rect);
    for (int i = 0; i < 5; ++i)
        driver->key(kVkBack);
    for (char c : std::string("Passenger seat left"))
        driver->typed(c);
    EXPECT_STREQ(state.fields[0].text, "Passenger seat ");
    EXPECT_FALSE(driver->typed('\n'));  // no line breaks, whatever the length
    driver->key(kVkTab);  // commits and moves on to zone 7's field
    EXPECT_EQ(state.focusedField, 3);
    EXPECT_STREQ(zone(4).name, "Passenger seat ");
}

TEST_F(ZoneSetupTest, TabMovesToTheNextEnabledNameField) {
    edit([](HapticSettings& s) {
        s.zones[4].active = 1;
        s.zones[6].active = 1;
    });
    open();
    press(state.fields[2].rect);
    ASSERT_EQ(state.focusedField, 2);
    driver->key(kVkTab);
    EXPECT_EQ(state.focusedField, 0);  // past the disabled zone 7, round to zone 4
    driver->key(kVkTab);
    EXPECT_EQ(state.focusedField, 2);
    press(state.fields[1].rect);  // disabled: the click only ends the editing
    EXPECT_EQ(state.focusedField, -1);
}

TEST_F(ZoneSetupTest, KnobsFollowWheelDoubleClickRightClickAndDrag) {
    edit([](HapticSettings& s) { s.zones[2].gain = 0.3f; });
    open();
    const PointF k = knobCentre(2);
    driver->wheel(k.x, k.y, +1);
    EXPECT_NEAR(zone(2).gain, 0.31f, 1e-6);
    driver->wheel(k.x, k.y, -2);
    EXPECT_NEAR(zone(2).gain, 0.30f, 1e-6);
    driver->down(k.x, k.y);
    driver->move(k.x, k.y - 100);
    EXPECT_NEAR(zone(2).gain, 0.8f, 1e-5);  // live while dragging
    driver->move(k.x, k.y - 300);
    driver->up(k.x + 200, k.y - 300);
    EXPECT_FLOAT_EQ(zone(2).gain, 1.0f);
    edit([](HapticSettings& s) { s.zones[2].gain = 0.2f; s.zones[3].gain = 0.2f; });
    open();
    driver->mouse(kWmLButtonDblClk, k.x, k.y);
    EXPECT_FLOAT_EQ(zone(2).gain, 1.0f);
    const PointF k3 = knobCentre(3);
    driver->mouse(kWmRButtonDown, k3.x, k3.y);
    EXPECT_FLOAT_EQ(zone(3).gain, 1.0f);
    // A disabled zone's knob does not move.
    const PointF k6 = knobCentre(6);
    driver->wheel(k6.x, k6.y, +1);
    EXPECT_FLOAT_EQ(zone(6).gain, 1.0f);
    EXPECT_FALSE(driver->mouse(kWmRButtonDown, k6.x, k6.y));
}

TEST_F(ZoneSetupTest, HoldTestPlaysTheZonesChannelUntilReleasedAnywhere) {
    edit([](HapticSettings& s) {
        s.numDevices = 2;
        s.zones[2].device = 1;
        s.zones[5].active = 1;  // on channel -1 ("none")
    });
    open();
    const RectF test1 = state.rows[1].testButton;
    const RectF test2 = state.rows[2].testButton;
    driver->down(test1.centerX(), test1.centerY());
    EXPECT_EQ(state.testingZone, 1);
    driver->down(test2.centerX(), test2.centerY());
    driver->up(-300, 5000);
    EXPECT_EQ(state.testingZone, -1);
    const RectF none = state.rows[5].testButton;
    driver->down(none.centerX(), none.centerY());
    driver->up(none.centerX(), none.centerY());
    const RectF disabled = state.rows[6].testButton;
    driver->down(disabled.centerX(), disabled.centerY());
    driver->up(disabled.centerX(), disabled.centerY());
    EXPECT_EQ(recorder.calls,
              (Calls{"tone 1 500 0.70 0", "tone 1 0 0.00 0", "tone 2 500 0.70 1", "tone 2 0 0.00 1"}));
}

TEST_F(ZoneSetupTest, ATestHeldWhenTheDialogEndsIsStopped) {
    test::installTestRunner([&](const DialogSpec& spec) {
        test::DialogDriver dialog(spec);
        dialog.paint();
        auto& running = *static_cast<ZoneSetupState*>(spec.userData);
        const RectF test = running.rows[3].testButton;
        dialog.down(test.centerX(), test.centerY());
        dialog.key(kVkEscape);
        EXPECT_EQ(running.closeCode, 0);
        return 0;
    });
    openZoneSetup(nullptr, &recorder.host);
    EXPECT_EQ(recorder.calls, (Calls{"tone 3 500 0.70 0", "tone 3 0 0.00 0"}));
}

TEST_F(ZoneSetupTest, RendersForReview) {
    edit([](HapticSettings& s) {
        s.numDevices = 2;
        s.zones[3].device = 1;
        s.zones[4].active = 1;
        s.zones[4].channel = 4;
        s.zones[5].active = 1;
        s.zones[1].gain = 0.45f;
    });
    open();
    const RectF test = state.rows[2].testButton;
    driver->down(test.centerX(), test.centerY());
    driver->paint();
    // Zone 2's TESTING button is lit; zone 0's rests.
    const RectF rest = state.rows[0].testButton;
    const Rgba8 restFill = driver->image().pixel(static_cast<int>(rest.right - 6), static_cast<int>(rest.top + 4));
    EXPECT_GT(test::inkedPixels(driver->image(), static_cast<int>(test.right) - 10, static_cast<int>(test.top) + 3,
                                static_cast<int>(test.right) - 3, static_cast<int>(test.bottom) - 3, restFill, 6),
              20);
    driver->saveRender("zone_setup");
    driver->up(0, 0);
}

}  // namespace
}  // namespace qv
