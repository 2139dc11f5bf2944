// qv-simfeed playing AC EVO and Le Mans Ultimate, quorvane on a terminal of
// its own, both in a shared-memory folder and a settings folder of the
// test's own: the program connects to the selected simulator, draws the live
// dashboard, records logger rows with the engine's columns, and reconnects
// when the simulator starts again; the feeds leave nothing behind.

#include "settings/ConfigIni.h"
#include "settings/HapticSettings.h"
#include "support/ChildProcess.h"
#include "support/PtyProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

namespace qv::test {
namespace {

// Generous bounds against hangs; nothing here measures time.
constexpr int kPatienceMs = 60000;

struct Simulator {
    const char* feedName;   // --sim
    int index;              // SimIndex
    const char* display;    // displayName()
    const char* connected;  // the connection report
    const char* title;      // the dashboard's banner
    const char* live;       // the update counter with a live value
    int csvColumns;
};

const Simulator kSimulators[] = {
    {"ac_evo", kACEVO, "AC EVO", "[ACEVOHapticEngine] Connected to AC EVO shared memory",
     "  Quor Vane  v0.6.103  |  AC EVO  |  Ctrl+C to exit", R"(\| Updates: +[1-9][0-9]*/s  pkt: +[1-9][0-9]*)", 20},
    {"lmu", kLMU, "LMU", "[LMUHapticEngine] Connected to LMU shared memory",
     "  Quor Vane  v0.6.103  |  Le Mans Ultimate  |  Ctrl+C to exit", R"(\| Updates: +[1-9][0-9]*/s  Sim: +[1-9][0-9]*Hz)",
     37},
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class FeedToProgram : public ::testing::TestWithParam<Simulator> {
protected:
    FeedToProgram() {
        std::filesystem::create_directories(shm());
        std::filesystem::create_directories(appData());
    }
    ~FeedToProgram() override {
        feed.signal(SIGINT);
        feed.wait(kPatienceMs);
    }
    std::string shm() const { return home.path() + "shm/"; }
    std::string appData() const { return home.path() + "config/QuorVane/"; }
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()}, {"QUORVANE_SHM_DIR", shm()},
                {"DISPLAY", ""}};
    }
    bool waitForLogLines(size_t lines) {
        for (int i = 0; i < kPatienceMs / 20; ++i) {
            if (linesOf(readFile(appData() + "susp_log.csv")).size() >= lines)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    TempDir home;
    ChildProcess feed;
};

TEST_P(FeedToProgram, ConnectsDrawsLogsAndGoesBackToWaiting) {
    const Simulator& sim = GetParam();
    HapticSettings settings;
    settings.selectedSim = sim.index;
    ASSERT_TRUE(writeFile(appData() + "haptic_config.ini", configIniText(settings)));

    PtyProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env()));
    ASSERT_TRUE(program.waitForOutput(std::string("  Waiting for ") + sim.display + " -- get into a session...",
                                      kPatienceMs))
        << program.tail();
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", sim.feedName, "--script", "cruise"}, env(),
                           home.file("feed.txt")));

    ASSERT_TRUE(program.waitForOutput(sim.connected, kPatienceMs)) << program.tail() << feed.errors();
    const std::regex live(sim.live);
    ASSERT_TRUE(program.readUntil(
        [&](const std::string& out) {
            return out.find(sim.title) != std::string::npos &&
                   out.find("  5000 rpm  Gear:4  108.0 km/h") != std::string::npos && std::regex_search(out, live);
        },
        kPatienceMs))
        << program.tail();
    EXPECT_EQ(program.output().find("HapticEngine] ERROR"), std::string::npos) << program.tail();

    // The logger records the engine's own columns.
    ASSERT_TRUE(program.type("l"));
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  RECORDING -- 2min max -- Press L to stop", kPatienceMs))
        << program.tail();
    ASSERT_TRUE(waitForLogLines(4));
    ASSERT_TRUE(program.type("L"));
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  SAVED -> susp_log.csv", kPatienceMs)) << program.tail();
    const std::vector<std::string> lines = linesOf(readFile(appData() + "susp_log.csv"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("timestamp_ms,speed_kmh,", 0), 0u) << lines[0];
    for (const std::string& line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), sim.csvColumns - 1) << line;
    }
    EXPECT_NE(lines[1].find(",108.0,"), std::string::npos) << lines[1];

    // The simulator quits: nothing of it stays; the program keeps the pages
    // it has and sees only a stall.
    feed.signal(SIGINT);
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 0) << feed.errors();
    EXPECT_TRUE(std::filesystem::is_empty(shm()));

    // The simulator starts again: the program reconnects to its new memory.
    const size_t before = program.output().size();
    ChildProcess again;
    ASSERT_TRUE(again.start({QV_SIMFEED_PATH, "--sim", sim.feedName, "--script", "cruise"}, env(),
                            home.file("feed2.txt")));
    ASSERT_TRUE(program.readUntil(
        [&](const std::string& out) {
            const size_t lost = out.find(std::string("  ") + sim.display + " disconnected - reconnecting...", before);
            return lost != std::string::npos && out.find(sim.connected, lost) != std::string::npos;
        },
        kPatienceMs))
        << program.tail();
    again.signal(SIGINT);
    ASSERT_TRUE(again.wait(kPatienceMs));
    EXPECT_EQ(again.exitCode(), 0) << again.errors();

    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(shm())) << "the program made no lock of its own";
}

INSTANTIATE_TEST_SUITE_P(ACEVOAndLMU, FeedToProgram, ::testing::ValuesIn(kSimulators),
                         [](const ::testing::TestParamInfo<Simulator>& info) {
                             return std::string(info.param.index == kLMU ? "LMU" : "ACEVO");
                         });

}  // namespace
}  // namespace qv::test
