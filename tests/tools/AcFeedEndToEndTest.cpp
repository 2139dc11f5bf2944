// qv-simfeed playing ACC or AC and quorvane on a terminal of its own, as
// separate processes sharing a shared-memory folder of the test's own: the
// program connects to the selected simulator, shows the live dashboard, falls
// silent (the idle frame) when the feed stops while staying connected, and
// reconnects when the simulator starts again.

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/AnsiScreen.h"
#include "support/PtyProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace qv::test {
namespace {

// Generous bounds against hangs; nothing here measures time.
constexpr int kPatienceMs = 60000;

struct SimCase {
    const char* feedName;     // --sim
    int selectedSim;          // SimIndex in haptic_config.ini
    const char* title;        // dashboard row 1
    const char* connected;    // the engine's connection line
    const char* disconnected; // the run loop's reconnect line
    const char* gear;         // how the engine shows the cruise's 4th gear
};

void PrintTo(const SimCase& c, std::ostream* os) { *os << c.feedName; }

// The road texture of the left front plays (the cruise's light suspension
// motion gives a few hundredths).
bool playing(const AnsiScreen& screen) {
    const std::string road = screen.textAt(17, 15, 5);
    return road.size() == 5 && road.rfind("0.0", 0) == 0 && road != "0.000";
}

// The idle frame on every output cell, the car still on track, and a second
// without new samples. All of it, not one cell: the screen may be read in the
// middle of a redraw.
bool idleShown(const AnsiScreen& screen) {
    for (int corner = 0; corner < 4; ++corner) {
        for (int row = 15; row <= 18; ++row) {
            if (screen.textAt(17 + 18 * corner, row, 5) != "0.000")
                return false;
        }
    }
    return screen.textAt(17, 15, 16) == "0.000 [........]" && screen.textAt(79, 3, 3) == "  0" &&
           screen.textAt(22, 12, 60).find("ON TRACK") != std::string::npos;
}

class AcFeedEndToEnd : public ::testing::TestWithParam<SimCase> {
protected:
    AcFeedEndToEnd() {
        std::filesystem::create_directories(shm());
        std::filesystem::create_directories(home.path() + "config/QuorVane");
        writeFile(home.path() + "config/QuorVane/haptic_config.ini",
                  "[Config]\nselectedSim=" + std::to_string(GetParam().selectedSim) + "\n");
    }
    std::string shm() const { return home.path() + "shm/"; }
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()}, {"QUORVANE_SHM_DIR", shm()}};
    }
    bool startFeed(ChildProcess& feed, const std::string& output) {
        return feed.start({QV_SIMFEED_PATH, "--sim", GetParam().feedName, "--script", "cruise"}, env(),
                          home.file(output));
    }
    TempDir home;
};

TEST_P(AcFeedEndToEnd, ConnectsShowsTheDashboardFallsSilentAndReconnects) {
    const SimCase& sim = GetParam();
    ChildProcess feed;
    ASSERT_TRUE(startFeed(feed, "feed.txt"));
    ASSERT_TRUE(feed.waitForOutput("qv-simfeed: publishing", kPatienceMs)) << feed.errors();

    PtyProcess program;
    AnsiScreen screen;
    const auto printed = [&](const std::string& text) { return program.output().find(text) != std::string::npos; };
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env()));
    // Connected, with live values: the update counter runs, the cruise's
    // speed and gear show, and the road texture plays on the left front.
    const bool live = program.readUntil(
        [&](const std::string& out) {
            screen.update(out);
            return printed(sim.connected) && screen.textAt(0, 1, 80).find(sim.title) == 0 &&
                   screen.textAt(22, 12, 60).find(std::string("5000 rpm  Gear:") + sim.gear +
                                                  "  108.0 km/h  ON TRACK") != std::string::npos &&
                   screen.textAt(68, 3, 16).rfind("| Updates:", 0) == 0 && screen.textAt(79, 3, 3) != "  0" &&
                   playing(screen) && screen.attributeAt(17, 15) == 10 &&
                   // The cruise's suspension velocity, about 0.02 m/s.
                   screen.textAt(20, 7, 5) == "  0.0";
        },
        kPatienceMs);
    ASSERT_TRUE(live) << program.tail();

    // The simulator quits: its pages go, the program keeps them mapped. The
    // next dashboards show the idle frame (road silent) with the car still
    // on track, and a second without new samples, with no reconnect.
    feed.signal(SIGINT);
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 0) << feed.errors();
    EXPECT_TRUE(std::filesystem::is_empty(shm()));
    const bool silent = program.readUntil(
        [&](const std::string& out) {
            screen.update(out);
            return idleShown(screen);
        },
        kPatienceMs);
    ASSERT_TRUE(silent) << program.tail();
    EXPECT_FALSE(printed(sim.disconnected)) << "the engine stays connected";

    // The simulator starts again with new pages: the program reconnects.
    ChildProcess again;
    ASSERT_TRUE(startFeed(again, "feed2.txt"));
    const bool back = program.readUntil(
        [&](const std::string& out) {
            screen.update(out);
            const size_t first = out.find(sim.connected);
            return printed(sim.disconnected) && first != std::string::npos &&
                   out.find(sim.connected, first + 1) != std::string::npos && playing(screen);
        },
        kPatienceMs);
    EXPECT_TRUE(back) << program.tail();

    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(printed("Exited cleanly."));
    again.signal(SIGINT);
    ASSERT_TRUE(again.wait(kPatienceMs));
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(shm()));
}

INSTANTIATE_TEST_SUITE_P(
    Simulators, AcFeedEndToEnd,
    ::testing::Values(SimCase{"acc", 1, "  Quor Vane  v0.6.103  |  ACC  |  Ctrl+C to exit",
                              "[ACCHapticEngine] Connected to ACC shared memory", "  ACC disconnected - reconnecting...",
                              "5"},
                      SimCase{"ac", 4, "  Quor Vane  v0.6.103  |  Assetto Corsa  |  Ctrl+C to exit",
                              "[ACHapticEngine] Connected to AC shared memory", "  AC disconnected - reconnecting...",
                              "4"}),
    [](const auto& info) { return std::string(info.param.feedName); });

}  // namespace
}  // namespace qv::test
