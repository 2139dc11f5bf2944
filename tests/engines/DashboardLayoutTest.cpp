// Every simulator's dashboard as text: each label, value cell and status
// field keeps to its own columns, so no field cuts into another.

#include "DashboardText.h"
#include "engines/ACEVOHapticEngine.h"
#include "engines/AcFamilyDashboard.h"
#include "engines/IRacingHapticEngine.h"
#include "engines/LMUHapticEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qv::test {
namespace {

// A recording console that notes every field it is given and reports a
// field that covers a visible character of another one. A field may only be
// replaced whole, by a field that starts where it started (the next value
// of a cell, a banner in place of a caption).
class FieldWatchingConsole : public RecordingConsole {
public:
    FieldWatchingConsole() : m_owner(static_cast<size_t>(kConsoleColumns * kConsoleRows), -1) {}

    void clear() override {
        RecordingConsole::clear();
        std::fill(m_owner.begin(), m_owner.end(), -1);
    }

    void write(std::string_view text) override {
        const int column = screen().cursorColumn();
        const int row = screen().cursorRow();
        const int id = static_cast<int>(m_fields.size());
        m_fields.push_back({column, row, std::string(text)});
        if (column + static_cast<int>(text.size()) > kConsoleColumns)
            addFault(describe(id) + " runs past the last column");

        std::vector<int> replaced;
        for (size_t i = 0; i < text.size(); ++i) {
            const int x = column + static_cast<int>(i);
            if (x >= kConsoleColumns)
                break;
            const int owner = ownerAt(x, row);
            if (owner < 0)
                continue;
            const Field& old = m_fields[static_cast<size_t>(owner)];
            if (old.column != column || old.row != row) {
                addFault(describe(id) + " cuts into " + describe(owner));
                continue;
            }
            if (std::find(replaced.begin(), replaced.end(), owner) == replaced.end())
                replaced.push_back(owner);
        }
        // A field in the same place must cover all that is left of the old one.
        for (int owner : replaced) {
            for (int x = 0; x < kConsoleColumns; ++x) {
                if (ownerAt(x, row) == owner && x >= column + static_cast<int>(text.size())) {
                    addFault(describe(id) + " leaves the end of " + describe(owner));
                    break;
                }
            }
        }
        for (size_t i = 0; i < text.size(); ++i) {
            const int x = column + static_cast<int>(i);
            if (x >= kConsoleColumns)
                break;
            ownerAt(x, row) = text[i] == ' ' ? -1 : id;
        }
        RecordingConsole::write(text);
    }

    const std::vector<std::string>& faults() const { return m_faults; }

private:
    struct Field {
        int column;
        int row;
        std::string text;
    };

    void addFault(const std::string& fault) {
        if (std::find(m_faults.begin(), m_faults.end(), fault) == m_faults.end())
            m_faults.push_back(fault);
    }
    int& ownerAt(int column, int row) { return m_owner[static_cast<size_t>(row * kConsoleColumns + column)]; }
    std::string describe(int id) const {
        const Field& f = m_fields[static_cast<size_t>(id)];
        return "\"" + f.text + "\" at (" + std::to_string(f.column) + ", " + std::to_string(f.row) + ")";
    }

    std::vector<int> m_owner;
    std::vector<Field> m_fields;
    std::vector<std::string> m_faults;
};

// One simulator's dashboard: the header, then a sample drawn with every
// warning and flag lit, then one off track.
struct DashboardCase {
    const char* name;
    std::function<void(IConsole&, bool dualBand)> header;
    std::function<void(IConsole&, bool onTrack, const EffectProfile&)> dashboard;
    const char* rowLabels[4];
};

HapticFrame busyFrame() {
    HapticFrame f;
    for (CornerHaptics& c : f.corners) {
        c.roadAmp = 0.9f;
        c.impactAmp = 0.5f;
        c.kerbAmp = 0.6f;
        c.absAmp = 0.8f;
        c.slipAmp = 1.0f;
    }
    return f;
}

AcDashboardSample acSample(bool onTrack) {
    static const float suspVel[4] = {-1.9876f, 0.5f, 2.0f, -0.25f};
    static const float lngSlip[4] = {0.125f, -0.5f, 0.05f, 0.0f};
    static const float wheelSlip[4] = {2.5f, 1.5f, 12.345f, 0.0f};
    AcDashboardSample s;
    s.suspVel = suspVel;
    s.lngSlip = lngSlip;
    s.wheelSlip = wheelSlip;
    s.rpm = 12345.0f;
    s.speed = 90.0f;
    s.gear = 6;
    s.onTrack = onTrack;
    s.packetId = 123456789;
    return s;
}

std::vector<DashboardCase> dashboardCases() {
    std::vector<DashboardCase> cases;
    cases.push_back({"ACC",
                     [](IConsole& c, bool dual) { drawAcDashboardHeader(c, AcDashboardKind::ACC, false, 16, dual); },
                     [](IConsole& c, bool on, const EffectProfile& fx) {
                         drawAcDashboard(c, AcDashboardKind::ACC, acSample(on), busyFrame(), fx, 999, 0.2f);
                     },
                     {"  Shock Vel   (m/s) ", nullptr, "  Lng Slip   (calc) ", "  Wheel Slip  (raw) "}});
    cases.push_back({"AC",
                     [](IConsole& c, bool dual) { drawAcDashboardHeader(c, AcDashboardKind::AC, false, 16, dual); },
                     [](IConsole& c, bool on, const EffectProfile& fx) {
                         AcDashboardSample s = acSample(on);
                         s.lngSlip = nullptr;
                         drawAcDashboard(c, AcDashboardKind::AC, s, busyFrame(), fx, 999, 0.2f);
                     },
                     {"  Shock Vel   (m/s) ", nullptr, "  ABS/Lock          ", "  Wheel Slip  (raw) "}});
    cases.push_back({"iRacing", [](IConsole& c, bool dual) { drawIRacingDashboardHeader(c, false, 16, dual); },
                     [](IConsole& c, bool on, const EffectProfile& fx) {
                         IRacingSample s;
                         s.onTrack = on;
                         s.shockVel[0] = -2.5f;
                         s.rumblePitch[1] = 123.4f;
                         s.rpm = 12000.0f;
                         s.gear = -1;
                         s.speed = 80.0f;
                         s.tickCount = 99999999;
                         drawIRacingDashboard(c, s, busyFrame(), fx, 999, 0.5f);
                     },
                     {"  Shock Vel   (m/s) ", "  Kerb Pitch   (Hz) ", "  ABS/Lock          ",
                      "  Wheel Slip        "}});
    cases.push_back({"AC EVO", [](IConsole& c, bool) { drawACEVODashboardHeader(c, false, 16); },
                     [](IConsole& c, bool on, const EffectProfile& fx) {
                         ACEVOSample s;
                         s.onTrack = on;
                         s.absActing = true;
                         s.suspVelocity[2] = 1.5f;
                         s.slipRatio[1] = -0.75f;
                         s.wheelSlip[3] = 3.0f;
                         s.rpm = 9999.0f;
                         s.gear = 7;
                         s.speed = 70.0f;
                         s.roadVibrations = -0.5f;
                         s.packetId = 87654321;
                         drawACEVODashboard(c, s, 0, busyFrame(), fx, 999, 0.1f);
                     },
                     {"  Shock Vel   (m/s) ", "  Kerb/Fast Susp    ", "  Slip Ratio  (lng) ",
                      "  Wheel Slip  (raw) "}});
    cases.push_back({"LMU", [](IConsole& c, bool dual) { drawLMUDashboardHeader(c, false, 16, dual); },
                     [](IConsole& c, bool on, const EffectProfile& fx) {
                         LmuSample s;
                         s.onTrack = on;
                         s.corners[0].suspVelocity = -1.25f;
                         s.corners[1].onKerb = true;
                         s.corners[1].surfaceType = 5;
                         s.corners[2].slipRatio = -0.125f;
                         s.corners[3].gripFraction = 0.75f;
                         s.engineRpm = 8000.0f;
                         s.gear = 4;
                         s.speed = 60.0f;
                         LmuState st;
                         drawLMUDashboard(c, s, st, 359.6f, busyFrame(), fx, 999, 0.7f);
                     },
                     {"  Shock Vel   (m/s) ", "  Surface Type      ", "  Lng Slip (ABS)    ",
                      "  Grip Fract (0-1)  "}});
    return cases;
}

TEST(DashboardLayout, NoFieldCutsIntoAnotherOnAnySimulatorInEitherMode) {
    for (const DashboardCase& sim : dashboardCases()) {
        for (bool dualBand : {false, true}) {
            EffectProfile fx;
            fx.suspDualBand = dualBand ? 1 : 0;
            fx.gearChangeIntensity = 1.0f;
            FieldWatchingConsole console;
            sim.header(console, dualBand);
            sim.dashboard(console, true, fx);
            sim.dashboard(console, false, fx);
            sim.dashboard(console, true, fx);
            EXPECT_EQ(console.faults(), std::vector<std::string>{}) << sim.name << (dualBand ? " dual-band" : "");

            // The labels stay whole beside their values.
            for (int i = 0; i < 4; ++i) {
                if (sim.rowLabels[i]) {
                    EXPECT_EQ(textAt(console, 0, 7 + i, 20), sim.rowLabels[i]) << sim.name << " row " << 7 + i;
                }
            }
        }
    }
}

TEST(DashboardLayout, TheAudioLineShowsTheWholeModeNameBesideTheUpdateCounter) {
    struct ModeCase {
        const char* name;
        std::function<void(IConsole&)> draw;
        const char* tail;
    };
    const EffectProfile dualFx = [] {
        EffectProfile fx;
        fx.suspDualBand = 1;
        return fx;
    }();
    const ModeCase cases[] = {
        {"ACC",
         [&](IConsole& c) {
             drawAcDashboardHeader(c, AcDashboardKind::ACC, false, 16, true);
             drawAcDashboard(c, AcDashboardKind::ACC, acSample(true), busyFrame(), dualFx, 120, 99.0f);
         },
         "  | ACC  Mode: Advanced (Dual-Band)"},
        {"AC",
         [&](IConsole& c) {
             drawAcDashboardHeader(c, AcDashboardKind::AC, false, 16, true);
             drawAcDashboard(c, AcDashboardKind::AC, acSample(true), busyFrame(), dualFx, 120, 99.0f);
         },
         "  | AC  Mode: Advanced (Dual-Band)"},
        {"LMU",
         [&](IConsole& c) {
             drawLMUDashboardHeader(c, false, 16, true);
             drawLMUDashboard(c, LmuSample{}, LmuState{}, 100.0f, busyFrame(), dualFx, 120, 99.0f);
         },
         "  | LMU  Mode: Advanced (Dual-Band)"},
    };
    for (const ModeCase& mode : cases) {
        RecordingConsole console;
        mode.draw(console);
        const std::string row = console.screen().rowText(3);
        EXPECT_EQ(row.rfind(std::string("  Audio: INACTIVE  Channels: 16") + mode.tail + " ", 0), 0u)
            << mode.name << ": " << row;
        EXPECT_NE(row.find("| Updates: 120/s"), std::string::npos) << mode.name << ": " << row;
    }
}

}  // namespace
}  // namespace qv::test
