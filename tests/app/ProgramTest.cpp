// The quorvane program as a user starts it: a separate process with its own
// settings folder, stopped with signals.

#include "support/ChildProcess.h"
#include "support/PtyProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace qv::test {
namespace {

class ProgramTest : public ::testing::Test {
protected:
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()},
                {"QUORVANE_SHM_DIR", home.path() + "shm"}};
    }
    std::string appData() const { return home.path() + "config/QuorVane/"; }
    TempDir home;
};

TEST_F(ProgramTest, WaitsForTheSimulatorAndExitsOnSignalsWithoutGoodbye) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        ChildProcess program;
        ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env(), home.file("out.txt")));
        ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", 20000)) << program.output();
        program.signal(sig);
        ASSERT_TRUE(program.wait(20000)) << "signal " << sig;
        EXPECT_EQ(program.exitCode(), 0) << program.errors();
        // No connection was made: the shutdown says nothing.
        EXPECT_EQ(program.output().find("Exited cleanly."), std::string::npos);
        const std::string watchdog = readFile(appData() + "watchdog.log");
        EXPECT_TRUE(std::regex_search(watchdog, std::regex(R"(^\[\d\d:\d\d:\d\d\.\d\d\d\] Watchdog log started\n)")))
            << watchdog;
    }
}

TEST_F(ProgramTest, WithoutADisplayItSaysSoOnceAndRunsOn) {
    ChildProcess program;
    auto environment = env();
    environment.push_back({"DISPLAY", ""});
    environment.push_back({"WAYLAND_DISPLAY", ""});
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, environment, home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing", 20000)) << program.output();
    ASSERT_TRUE(program.waitForOutput("runs on without a window", 20000)) << program.output();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    const std::string out = program.output();
    EXPECT_EQ(out.find("runs on without a window"), out.rfind("runs on without a window"));
}

TEST_F(ProgramTest, ASecondStartExitsAtOnceAndReachesTheFirst) {
    ChildProcess first;
    ASSERT_TRUE(first.start({QV_QUORVANE_PATH}, env(), home.file("first.txt")));
    ASSERT_TRUE(first.waitForOutput("Waiting for", 20000));

    ChildProcess second;
    ASSERT_TRUE(second.start({QV_QUORVANE_PATH}, env(), home.file("second.txt")));
    ASSERT_TRUE(second.wait(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.output().find("Waiting for"), std::string::npos) << "nothing else happens in a second instance";
    EXPECT_TRUE(first.waitForOutput("asked this one to come to the front", 20000));

    // The same folder spelled otherwise is still the same instance.
    for (const std::string& spelling : {home.path() + "config/.", home.path() + "config//",
                                        home.path() + "config/../config", home.path() + "./config"}) {
        ChildProcess again;
        std::vector<std::pair<std::string, std::string>> spelled = env();
        spelled[0].second = spelling;
        ASSERT_TRUE(again.start({QV_QUORVANE_PATH}, spelled, home.file("again.txt")));
        ASSERT_TRUE(again.wait(20000)) << spelling;
        EXPECT_EQ(again.exitCode(), 0);
        EXPECT_EQ(again.output().find("Waiting for"), std::string::npos) << spelling << " started a second instance";
    }

    // Another settings folder is another configuration: both run.
    TempDir other;
    ChildProcess third;
    ASSERT_TRUE(third.start({QV_QUORVANE_PATH}, {{"XDG_CONFIG_HOME", other.path()}, {"HOME", other.path()}},
                            other.file("third.txt")));
    EXPECT_TRUE(third.waitForOutput("Waiting for", 20000));
    EXPECT_TRUE(third.isRunning());
    third.signal(SIGINT);
    first.signal(SIGINT);
    ASSERT_TRUE(third.wait(20000));
    ASSERT_TRUE(first.wait(20000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(third.exitCode(), 0);
}

TEST_F(ProgramTest, StartedAsABackgroundJobItRunsAndLeavesTheTerminalToTheForeground) {
    // "quorvane &" in a shell with job control: a job that changed the
    // terminal's modes or read from it would be stopped by the terminal.
    const std::string shell =
        "set -m; \"$0\" & job=$!; trap 'kill -INT $job' INT; "
        "wait $job; status=$?; while kill -0 $job 2>/dev/null; do wait $job; status=$?; done; exit $status";
    PtyProcess program;
    ASSERT_TRUE(program.start({"/bin/bash", "-c", shell, QV_QUORVANE_PATH}, env()));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", 20000)) << program.tail();
    ASSERT_TRUE(program.type("still-echoed\n"));
    EXPECT_TRUE(program.waitForOutput("still-echoed", 5000)) << "the foreground's terminal modes are untouched";
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000)) << program.tail();
    EXPECT_EQ(program.exitCode(), 0) << program.tail();
}

}  // namespace
}  // namespace qv::test
