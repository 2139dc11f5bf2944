// The suspension logger in the running program, with qv-simfeed playing
// iRacing: L typed into quorvane's terminal, and L held on an X display while
// another program has the focus.

#include "support/ChildProcess.h"
#include "support/PtyProcess.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <csignal>
#include <sys/stat.h>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

namespace qv::test {
namespace {

// Generous bounds against hangs; nothing here measures time.
constexpr int kPatienceMs = 60000;

const char* kIRacingHeader =
    "timestamp_ms,speed_kmh,throttle,brake,gear,steerAngle,localVelY,yawRate,latAccel,longAccel,shockVel_LF,"
    "shockVel_RF,shockVel_LR,shockVel_RR,yawAccel,latVelDelta,rearShockDiff,frontShockDiff,accelDeficit";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class LoggerProgramTest : public ::testing::Test {
protected:
    LoggerProgramTest() { std::filesystem::create_directories(shm()); }
    ~LoggerProgramTest() override {
        feed.signal(SIGINT);
        feed.wait(kPatienceMs);
    }

    std::string shm() const { return home.path() + "shm/"; }
    std::string logPath() const { return home.path() + "config/QuorVane/susp_log.csv"; }
    std::vector<std::pair<std::string, std::string>> env(const std::string& display) const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"},
                {"HOME", home.path()},
                {"QUORVANE_SHM_DIR", shm()},
                {"DISPLAY", display}};
    }
    void startFeed() {
        ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise"}, env(""),
                               home.file("feed.txt")));
    }
    // Polls the file until it has at least `lines` lines.
    bool waitForLogLines(size_t lines) {
        for (int i = 0; i < kPatienceMs / 20; ++i) {
            if (linesOf(readFile(logPath())).size() >= lines)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // The header and rows of a finished recording.
    void expectRecording(const std::string& file) {
        const std::vector<std::string> lines = linesOf(file);
        ASSERT_GE(lines.size(), 3u) << file;
        EXPECT_EQ(lines[0], kIRacingHeader);
        long previous = -1;
        for (size_t i = 1; i < lines.size(); ++i) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(lines[i], m, std::regex(R"((\d+),108\.0,[^,]+(,[^,]+){16})"))) << lines[i];
            const long stamp = std::stol(m[1]);
            EXPECT_GE(stamp, previous) << "milliseconds since the start, never going back";
            previous = stamp;
        }
    }

    TempDir home;
    ChildProcess feed;
};

TEST_F(LoggerProgramTest, TypingLInTheTerminalRecordsTheFileAndTypingItAgainSavesIt) {
    startFeed();
    PtyProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env("")));  // no X display: the terminal key only
    ASSERT_TRUE(program.waitForOutput("108.0 km/h  ON TRACK", kPatienceMs)) << program.tail();

    ASSERT_TRUE(program.type("l"));
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  RECORDING -- 2min max -- Press L to stop", kPatienceMs))
        << program.tail();
    const std::regex counting(R"(RECORDING  1[0-9][0-9]s remaining  rows=[1-9][0-9]* )");
    ASSERT_TRUE(program.readUntil([&](const std::string& out) { return std::regex_search(out, counting); },
                                  kPatienceMs))
        << program.tail();
    ASSERT_TRUE(waitForLogLines(3));

    ASSERT_TRUE(program.type("L"));
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  SAVED -> susp_log.csv", kPatienceMs)) << program.tail();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0);
    expectRecording(readFile(logPath()));
}

// A pipe at the log's name once froze the 120 Hz loop in the open. Now L
// brings an error line at once, the dashboard keeps running and the pipe is
// left as it was.
TEST_F(LoggerProgramTest, APipeAtTheLogsNameIsRefusedAndTheLoopRunsOn) {
    std::filesystem::create_directories(home.path() + "config/QuorVane");
    ASSERT_EQ(::mkfifo(logPath().c_str(), 0600), 0);
    startFeed();
    PtyProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env("")));
    ASSERT_TRUE(program.waitForOutput("108.0 km/h  ON TRACK", kPatienceMs)) << program.tail();

    ASSERT_TRUE(program.type("l"));
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  ERROR: cannot record: open " + logPath() +
                                          ": not a regular file",
                                      kPatienceMs))
        << program.tail();
    // The loop still runs: the update counter keeps being redrawn.
    const size_t after = program.output().size();
    ASSERT_TRUE(program.readUntil(
        [&](const std::string& out) { return out.find("| Updates:", after) != std::string::npos; }, kPatienceMs))
        << program.tail();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0);
    struct stat st{};
    ASSERT_EQ(::lstat(logPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(LoggerProgramTest, HoldingLOnTheXDisplayRecordsWhicheverWindowHasTheFocus) {
    XvfbServer server;
    ASSERT_TRUE(server.start()) << server.error();
    Display* keys = XOpenDisplay(server.display().c_str());
    ASSERT_NE(keys, nullptr);
    const KeyCode l = XKeysymToKeycode(keys, XK_l);
    auto press = [&](bool down) {
        XTestFakeKeyEvent(keys, l, down ? True : False, 0);
        XSync(keys, False);
    };

    startFeed();
    ChildProcess program;  // output to a file: no terminal at all
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env(server.display()), home.file("quorvane.txt")));
    ASSERT_TRUE(program.waitForOutput("[IRacingHapticEngine] Connected", kPatienceMs)) << program.output();

    press(true);
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  RECORDING -- 2min max -- Press L to stop\n", kPatienceMs))
        << program.output() << program.errors();
    press(false);
    ASSERT_TRUE(waitForLogLines(3)) << readFile(logPath());

    press(true);
    ASSERT_TRUE(program.waitForOutput("  [ Susp Logger ]  SAVED -> susp_log.csv\n", kPatienceMs)) << program.output();
    press(false);
    XCloseDisplay(keys);
    const std::string file = readFile(logPath());

    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    // One recording: a held key is one press.
    const std::string out = program.output();
    EXPECT_EQ(out.find("RECORDING -- 2min max"), out.rfind("RECORDING -- 2min max")) << out;
    expectRecording(file);
}

}  // namespace
}  // namespace qv::test
