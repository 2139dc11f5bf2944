// The channel routing dialog driven through its callbacks after one offscreen
// paint, with a host that records every tone and preview call.

#include "ui/dialogs/ChannelRoutingDialog.h"

#include "ui/GuiHooks.h"
#include "ui/panels/EffectCards.h"

#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace qv {
namespace {

using test::RecordingHost;
using Calls = std::vector<std::string>;

// Zones 0, 1 and 5 can sound; zone 5 is on channel 5 of the second device.
void activateZones(std::initializer_list<int> zones, int numActive = kMaxZones) {
    gSettings.edit([&](HapticSettings& s) {
        for (ZoneConfig& z : s.zones)
            z.active = 0;
        for (int z : zones) {
            s.zones[z].active = 1;
            s.zones[z].channel = z;
            copyText(s.zones[z].name, ("Zone " + std::to_string(z)).c_str());
        }
        s.numActiveZones = numActive;
    });
    gSettings.takeDirty();
}

float route(int effect, int zone) { return gSettings.snapshot().effectProfiles[kIRacing].routeGain[effect][zone]; }

class ChannelRoutingTest : public test::DialogFixture {
protected:
    // Builds the dialog from the settings as they stand and paints it once.
    void open() {
        initChannelRouting(state, &recorder.host);
        driver = std::make_unique<test::DialogDriver>(channelRoutingSpec(state, nullptr));
        driver->paint();
    }
    PointF cellCentre(int effect, int column) const {
        const RectF& r = state.cells[effect][column].rect;
        return PointF{r.centerX(), r.centerY()};
    }
    PointF centreOf(const RectF& r) const { return PointF{r.centerX(), r.centerY()}; }

    RecordingHost recorder;
    ChannelRoutingState state;
    std::unique_ptr<test::DialogDriver> driver;
};

TEST_F(ChannelRoutingTest, ColumnsAreTheZonesThatCanSoundInZoneOrder) {
    struct Case {
        std::initializer_list<int> active;
        int numActive;
        std::vector<int> columns;
        int width;
    };
    const Case cases[] = {
        {{0, 1, 5}, 8, {0, 1, 5}, 430},
        {{0, 1, 5}, 4, {0, 1}, 430},  // zone 5 is past numActiveZones: it cannot sound
        {{0, 1, 2, 3, 4, 5, 6, 7}, 8, {0, 1, 2, 3, 4, 5, 6, 7}, 910},
        {{}, 8, {}, 430},
    };
    for (const Case& c : cases) {
        activateZones(c.active, c.numActive);
        open();
        EXPECT_EQ(std::vector<int>(state.columnZones, state.columnZones + state.columnCount), c.columns);
        EXPECT_EQ(driver->spec().width, c.width);
        for (int col = 0; col < state.columnCount; ++col)
            EXPECT_STREQ(state.knobs[col].caption, ("Zone " + std::to_string(c.columns[col])).c_str());
    }
}

TEST_F(ChannelRoutingTest, FooterButtonsNeverOverlapForAnyNumberOfColumns) {
    for (int dpi : {96, 144}) {
        setDpi(dpi);
        createTextFormats();
        for (int columns = 0; columns <= kMaxZones; ++columns) {
            std::vector<int> zones;
            for (int z = 0; z < columns; ++z)
                zones.push_back(z);
            gSettings.edit([&](HapticSettings& s) {
                for (int z = 0; z < kMaxZones; ++z)
                    s.zones[z].active = z < columns;
                s.numActiveZones = kMaxZones;
            });
            open();
            const float w = static_cast<float>(driver->image().width());
            for (int a = 0; a < kRoutingButtonCount; ++a) {
                const RectF& ra = state.buttons[a].rect;
                EXPECT_GE(ra.left, 0.0f);
                EXPECT_LE(ra.right, w);
                for (int b = a + 1; b < kRoutingButtonCount; ++b) {
                    const RectF& rb = state.buttons[b].rect;
                    EXPECT_TRUE(ra.right < rb.left || rb.right < ra.left)
                        << columns << " columns at " << dpi << " dpi: buttons " << a << " and " << b << " overlap";
                }
            }
            // A press on the visible Close closes and leaves the routing alone.
            edit([](HapticSettings& s) { s.effectProfiles[kIRacing].routeGain[0][0] = 0.3f; });
            const PointF closeAt = centreOf(state.buttons[kRoutingClose].rect);
            driver->down(closeAt.x, closeAt.y);
            EXPECT_EQ(state.closeCode, 0);
            EXPECT_FLOAT_EQ(route(0, 0), 0.3f);
        }
    }
}

TEST_F(ChannelRoutingTest, EveryRowIsNamedAsItsEffectsCardForEverySimulatorAndModel) {
    for (int sim = 0; sim < kSimCount; ++sim) {
        for (int dual = 0; dual < 2; ++dual) {
            edit([&](HapticSettings& s) {
                s.selectedSim = sim;
                s.effectProfiles[sim].suspDualBand = static_cast<uint8_t>(dual);
            });
            const int cards = buildEffectCards(sim);
            const EffectCardPanel& panel = effectCardPanel();
            for (int i = 0; i < cards; ++i) {
                EXPECT_STREQ(routingRowLabel(sim, panel.cards[i].effect), panel.cards[i].name)
                    << "simulator " << sim << (dual ? " dual-band" : " simple");
            }
        }
    }
    // The split suspension of ACC and AC: the rows read as the cards do.
    edit([](HapticSettings& s) { s.effectProfiles[kACC].suspDualBand = 1; });
    buildEffectCards(kACC);
    EXPECT_STREQ(routingRowLabel(kACC, kSuspImpact), "Slow Suspension");
    EXPECT_STREQ(routingRowLabel(kACC, kKerbRumble), "Fast Suspension");
    // In the simple model the kerbs play through the suspension: no card of
    // their own, the plain name.
    edit([](HapticSettings& s) { s.effectProfiles[kAC].suspDualBand = 0; });
    buildEffectCards(kAC);
    EXPECT_STREQ(routingRowLabel(kAC, kSuspImpact), "Suspension");
    EXPECT_STREQ(routingRowLabel(kAC, kKerbRumble), "Kerb");
    // Cards built for another simulator name nothing here.
    EXPECT_STREQ(routingRowLabel(kACC, kSuspImpact), "Suspension");
}

TEST_F(ChannelRoutingTest, RightClickTogglesACellAndRemembersItsGain) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) { s.effectProfiles[kIRacing].routeGain[2][1] = 0.6f; });
    open();
    const PointF at = cellCentre(2, 1);
    const float expected[] = {0.0f, 0.6f, 0.0f, 0.6f};
    for (float gain : expected) {
        EXPECT_TRUE(driver->mouse(kWmRButtonDown, at.x, at.y));
        EXPECT_FLOAT_EQ(route(2, 1), gain);
        EXPECT_TRUE(gSettings.takeDirty());
    }
    // Zone 5's cells start at 0 with nothing remembered: full gain.
    const PointF zero = cellCentre(4, 2);
    ASSERT_FLOAT_EQ(route(4, 5), 0.0f);
    driver->mouse(kWmRButtonDown, zero.x, zero.y);
    EXPECT_FLOAT_EQ(route(4, 5), 1.0f);
}

TEST_F(ChannelRoutingTest, WheelStepsOnePercentAndStopsAtTheEnds) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) {
        s.effectProfiles[kIRacing].routeGain[0][5] = 0.95f;
        s.effectProfiles[kIRacing].routeGain[1][5] = 0.03f;
        s.zones[1].gain = 0.5f;
    });
    open();
    const PointF up = cellCentre(0, 2);
    for (int i = 0; i < 10; ++i)
        driver->wheel(up.x, up.y, +1);
    EXPECT_EQ(route(0, 5), 1.0f);
    const PointF down = cellCentre(1, 2);
    for (int i = 0; i < 5; ++i)
        driver->wheel(down.x, down.y, -3);  // one step per message, whatever the delta
    EXPECT_EQ(route(1, 5), 0.0f);
    const PointF knob = centreOf(state.knobs[1].rect);
    driver->wheel(knob.x, knob.y, +1);
    EXPECT_NEAR(gSettings.snapshot().zones[1].gain, 0.51f, 1e-6);
}

TEST_F(ChannelRoutingTest, DraggingACellOrAKnobWritesThroughAtOnce) {
    activateZones({0, 1, 5});
    open();
    const RectF cell = state.cells[3][2].rect;  // engine to zone 5
    driver->down(cell.left + 1, cell.centerY());
    EXPECT_FLOAT_EQ(route(3, 5), 0.0f);
    driver->move(cell.centerX(), cell.centerY());
    EXPECT_NEAR(route(3, 5), 0.5f, 0.02f);
    driver->move(cell.right + 40, cell.centerY());
    EXPECT_FLOAT_EQ(route(3, 5), 1.0f);
    driver->up(cell.right + 40, cell.centerY());

    const PointF knob = centreOf(state.knobs[0].rect);
    edit([](HapticSettings& s) { s.zones[0].gain = 0.3f; });
    open();
    driver->down(knob.x, knob.y);
    driver->move(knob.x, knob.y - 100);
    EXPECT_NEAR(gSettings.snapshot().zones[0].gain, 0.8f, 1e-5);
    driver->up(knob.x, knob.y - 100);
    driver->mouse(kWmLButtonDblClk, knob.x, knob.y);
    EXPECT_FLOAT_EQ(gSettings.snapshot().zones[0].gain, 1.0f);
    const PointF cellAt = cellCentre(6, 0);
    edit([](HapticSettings& s) { s.effectProfiles[kIRacing].routeGain[6][0] = 0.2f; });
    open();
    driver->mouse(kWmLButtonDblClk, cellAt.x, cellAt.y);
    EXPECT_FLOAT_EQ(route(6, 0), 1.0f);
}

TEST_F(ChannelRoutingTest, HeldColumnHeadersPlayOneToneAtATimeAndStopOnAnyRelease) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) { s.zones[5].device = 1; });
    open();
    const PointF a = centreOf(state.headerRects[0]);
    const PointF b = centreOf(state.headerRects[2]);
    driver->down(a.x, a.y);
    EXPECT_EQ(state.soundingColumn, 0);
    driver->down(b.x, b.y);
    EXPECT_EQ(state.soundingColumn, 2);
    // Released far outside the dialog (or a lost button-up from the host).
    driver->up(-500, 4000);
    EXPECT_EQ(state.soundingColumn, -1);
    EXPECT_EQ(recorder.calls, (Calls{"tone 0 500 0.70 0", "tone 0 0 0.00 0", "tone 5 500 0.70 1", "tone 5 0 0.00 1"}));
}

TEST_F(ChannelRoutingTest, AColumnOfAZoneWithoutAChannelPlaysNothing) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) { s.zones[1].channel = -1; });
    open();
    const PointF a = centreOf(state.headerRects[0]);
    const PointF none = centreOf(state.headerRects[1]);
    driver->down(a.x, a.y);
    driver->down(none.x, none.y);
    EXPECT_EQ(state.soundingColumn, -1);
    driver->up(none.x, none.y);
    EXPECT_EQ(recorder.calls, (Calls{"tone 0 500 0.70 0", "tone 0 0 0.00 0"}));
}

TEST_F(ChannelRoutingTest, PlayButtonsPreviewWhileHeld) {
    activateZones({0, 1});
    open();
    const PointF road = centreOf(state.playRects[0]);
    const PointF gear = centreOf(state.playRects[5]);
    driver->down(road.x, road.y);
    driver->down(gear.x, gear.y);
    driver->up(0, 0);
    driver->up(0, 0);  // a second release finds nothing held
    EXPECT_EQ(recorder.calls, (Calls{"preview 0 on", "preview 0 off", "preview 5 on", "preview 5 off"}));
}

TEST_F(ChannelRoutingTest, EscapeWhileAPreviewIsHeldStopsThePreview) {
    activateZones({0, 1});
    test::installTestRunner([&](const DialogSpec& spec) {
        test::DialogDriver dialog(spec);
        dialog.paint();
        auto& running = *static_cast<ChannelRoutingState*>(spec.userData);
        const RectF play = running.playRects[3];
        dialog.down(play.centerX(), play.centerY());
        const RectF header = running.headerRects[1];
        dialog.down(header.centerX(), header.centerY());
        EXPECT_TRUE(dialog.key(kVkEscape));
        EXPECT_EQ(running.closeCode, 0);
        return 0;
    });
    openChannelRouting(nullptr, &recorder.host);
    EXPECT_EQ(recorder.calls, (Calls{"preview 3 on", "tone 1 500 0.70 0", "preview 3 off", "tone 1 0 0.00 0"}));
}

TEST_F(ChannelRoutingTest, DeviceChipsCycleWithinTheConfiguredDevices) {
    struct Case {
        int numDevices;
        int device;
        int after;
    };
    const Case cases[] = {
        {2, 0, 1}, {2, 1, 0}, {3, 2, 0}, {3, 1, 2}, {2, -1, 0}, {2, 3, 0},
        {1, 0, 0},  // one device: the chip does nothing
    };
    for (const Case& c : cases) {
        activateZones({0, 1, 5});
        edit([&](HapticSettings& s) {
            s.numDevices = c.numDevices;
            s.zones[5].device = c.device;
        });
        open();
        const PointF chip = centreOf(state.chipRects[2]);
        driver->down(chip.x, chip.y);
        driver->up(chip.x, chip.y);
        EXPECT_EQ(gSettings.snapshot().zones[5].device, c.after) << c.numDevices << " devices from " << c.device;
        EXPECT_EQ(gSettings.takeDirty(), c.numDevices > 1);
        EXPECT_TRUE(recorder.calls.empty());
    }
}

TEST_F(ChannelRoutingTest, ResetRoutesRestoresTheDefaultsAndForgetsRightClicks) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) {
        s.effectProfiles[kIRacing].routeGain[0][1] = 0.25f;
        s.effectProfiles[kIRacing].routeGain[0][5] = 0.6f;
        s.effectProfiles[kACC].routeGain[0][5] = 0.6f;
    });
    open();
    const PointF cell = cellCentre(0, 2);
    driver->mouse(kWmRButtonDown, cell.x, cell.y);  // puts 0.6 aside
    ASSERT_FLOAT_EQ(route(0, 5), 0.0f);
    gSettings.takeDirty();
    const RectF reset = state.buttons[kRoutingReset].rect;
    driver->down(reset.centerX(), reset.centerY());
    driver->up(reset.centerX(), reset.centerY());
    EXPECT_TRUE(gSettings.takeDirty());
    for (int e = 0; e < kEffectCount; ++e)
        for (int z = 0; z < kMaxZones; ++z)
            EXPECT_EQ(route(e, z), z < 4 ? 1.0f : 0.0f) << e << ", " << z;
    EXPECT_FLOAT_EQ(state.routeCopy[0][1], 1.0f);
    // Only the selected simulator's profile is reset.
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kACC].routeGain[0][5], 0.6f);
    // The gain put aside before the reset does not come back.
    driver->mouse(kWmRButtonDown, cell.x, cell.y);
    EXPECT_FLOAT_EQ(route(0, 5), 1.0f);
}

TEST_F(ChannelRoutingTest, LoadReloadsTheGridAndForgetsRightClicks) {
    activateZones({0, 1, 5});
    edit([](HapticSettings& s) { s.effectProfiles[kIRacing].routeGain[1][0] = 0.4f; });
    static int loads = 0;
    static int saves = 0;
    loads = saves = 0;
    dialogEntries().openLoadProfile = [](WindowHandle) {
        ++loads;
        gSettings.edit([](HapticSettings& s) {
            s.effectProfiles[kIRacing].routeGain[1][0] = 0.0f;
            s.effectProfiles[kIRacing].routeGain[2][0] = 0.7f;
        });
    };
    dialogEntries().openSaveProfileAs = [](WindowHandle) { ++saves; };
    open();
    const PointF cell = cellCentre(1, 0);
    driver->mouse(kWmRButtonDown, cell.x, cell.y);  // puts 0.4 aside
    const RectF load = state.buttons[kRoutingLoad].rect;
    driver->down(load.centerX(), load.centerY());
    EXPECT_EQ(loads, 1);
    EXPECT_FLOAT_EQ(state.routeCopy[2][0], 0.7f);
    driver->mouse(kWmRButtonDown, cell.x, cell.y);
    EXPECT_FLOAT_EQ(route(1, 0), 1.0f);  // not the stale 0.4
    const RectF save = state.buttons[kRoutingSaveAs].rect;
    driver->down(save.centerX(), save.centerY());
    EXPECT_EQ(saves, 1);
    dialogEntries().openLoadProfile = nullptr;
    dialogEntries().openSaveProfileAs = nullptr;
    // Without the profile dialogs the two buttons change nothing.
    const float before = route(2, 0);
    driver->down(load.centerX(), load.centerY());
    driver->down(save.centerX(), save.centerY());
    EXPECT_FLOAT_EQ(route(2, 0), before);
    EXPECT_EQ(state.closeCode, -1);
}

TEST_F(ChannelRoutingTest, RendersForReview) {
    activateZones({0, 1, 2, 3, 5});
    edit([](HapticSettings& s) {
        s.numDevices = 2;
        s.zones[5].device = 1;
        s.effectProfiles[kIRacing].routeGain[3][5] = 0.45f;
        s.zones[2].gain = 0.62f;
    });
    open();
    const PointF header = centreOf(state.headerRects[1]);
    driver->down(header.x, header.y);
    driver->move(state.playRects[6].centerX(), state.playRects[6].centerY());
    driver->paint();
    // The sounding header is filled with the accent's darker shade.
    const RectF held = state.headerRects[1];
    const Rgba8 rest = driver->image().pixel(static_cast<int>(state.headerRects[0].left + 8),
                                             static_cast<int>(state.headerRects[0].top + 4));
    EXPECT_GT(test::inkedPixels(driver->image(), static_cast<int>(held.left) + 4, static_cast<int>(held.top) + 3,
                                static_cast<int>(held.right) - 4, static_cast<int>(held.bottom) - 3, rest, 8),
              100);
    driver->saveRender("channel_routing");
    driver->up(0, 0);
}

}  // namespace
}  // namespace qv
