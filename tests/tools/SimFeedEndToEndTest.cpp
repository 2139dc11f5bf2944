// qv-simfeed and quorvane as separate processes sharing a shared-memory
// folder of the test's own: the program connects, reports, shows the live
// dashboard in a terminal, and goes back to waiting when the feed ends.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::test {
namespace {

// Generous bounds against hangs; nothing here measures time.
constexpr int kPatienceMs = 60000;

class SimFeedEndToEnd : public ::testing::Test {
protected:
    SimFeedEndToEnd() { std::filesystem::create_directories(shm()); }
    std::string shm() const { return home.path() + "shm/"; }
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()}, {"QUORVANE_SHM_DIR", shm()}};
    }
    TempDir home;
};

TEST_F(SimFeedEndToEnd, TheProgramConnectsReportsAndGoesBackToWaiting) {
    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env(), home.file("quorvane.txt")));
    ASSERT_TRUE(program.waitForOutput("  Waiting for iRacing -- get into a session...", kPatienceMs))
        << program.output();

    // The feed runs until stopped: the program retries only every 2 s, so a
    // short fixed duration could fall between two tries on a busy machine.
    ChildProcess feed;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "lap"}, env(), home.file("feed.txt")));
    ASSERT_TRUE(program.waitForOutput("[IRacingHapticEngine] Connected", kPatienceMs))
        << program.output() << program.errors();
    feed.signal(SIGINT);
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 0) << feed.errors();
    EXPECT_NE(feed.output().find("status cleared, shared memory removed"), std::string::npos) << feed.output();
    EXPECT_TRUE(std::filesystem::is_empty(shm()));

    ASSERT_TRUE(program.waitForOutput("  iRacing disconnected - reconnecting...", kPatienceMs)) << program.output();
    const std::string first = program.output();
    EXPECT_NE(first.find("\n[IRacingHapticEngine] Connected\n"
                         "  Tick rate : 60 Hz\n"
                         "  Variables : 27\n"
                         "  360Hz     : NO  - set irsdkLog360Hz=1 in Documents\\iRacing\\app.ini\n"
                         "\n"
                         "  LF shock: defl MISSING  vel  MISSING\n"),
              std::string::npos)
        << first;

    // A new session in 360 Hz mode: the waiting program connects again.
    ChildProcess again;
    ASSERT_TRUE(again.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise", "--360hz"}, env(),
                            home.file("feed2.txt")));
    ASSERT_TRUE(program.waitForOutput("  360Hz     : YES - 6 sub-samples per frame", kPatienceMs)) << program.output();
    again.signal(SIGTERM);
    ASSERT_TRUE(again.wait(kPatienceMs));
    EXPECT_EQ(again.exitCode(), 0);
    ASSERT_TRUE(program.waitForOutput("\n  LR shock: 360Hz defl OK  360Hz vel  OK\n", kPatienceMs));

    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_NE(program.output().find("Exited cleanly."), std::string::npos) << program.output();
}

TEST_F(SimFeedEndToEnd, TheFeedStopsAfterItsDurationAndCleansUp) {
    ChildProcess feed;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--script", "cruise", "--duration", "0.5"}, env(), home.file("feed.txt")));
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 0) << feed.errors();
    EXPECT_NE(feed.output().find("qv-simfeed: publishing iRacing, 60 Hz, script cruise, in " + shm() +
                                 "IRSDKMemMapFileName; Ctrl+C to stop\n"),
              std::string::npos)
        << feed.output();
    EXPECT_NE(feed.output().find("qv-simfeed: stopped after 30 ticks; status cleared, shared memory removed\n"),
              std::string::npos)
        << feed.output();
    EXPECT_TRUE(std::filesystem::is_empty(shm()));
}

TEST_F(SimFeedEndToEnd, TheFeedRefusesAFolderThatIsNotThere) {
    ChildProcess feed;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--shm-dir", home.path() + "missing", "--duration", "1"}, {},
                           home.file("feed.txt")));
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 1);
    EXPECT_NE(feed.errors().find("qv-simfeed: cannot create the shared memory: create " + home.path() +
                                 "missing/IRSDKMemMapFileName: No such file or directory"),
              std::string::npos)
        << feed.errors();

    ChildProcess bad;
    ASSERT_TRUE(bad.start({QV_SIMFEED_PATH, "--script", "nope"}, {}, home.file("bad.txt")));
    ASSERT_TRUE(bad.wait(kPatienceMs));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_NE(bad.errors().find("Usage: qv-simfeed"), std::string::npos);
}

// quorvane on a pseudo-terminal: the dashboard is drawn with live values.
TEST_F(SimFeedEndToEnd, InATerminalTheDashboardShowsLiveValues) {
    ChildProcess feed;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise"}, env(), home.file("feed.txt")));

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slaveName = ::ptsname(master);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    for (const auto& [k, v] : env())
        envStrings.push_back(k + "=" + v);
    envStrings.emplace_back("TERM=xterm");
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setsid();
        const int slave = ::open(slaveName.c_str(), O_RDWR);
        if (slave < 0)
            ::_exit(127);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::close(master);
        char* argv[] = {const_cast<char*>(QV_QUORVANE_PATH), nullptr};
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }

    std::string screen;
    const std::regex live(R"(\| Updates: +[1-9][0-9]*/s  Tick: +[0-9]+)");
    auto readUntil = [&](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                screen.append(buffer, static_cast<size_t>(n));
            }
        }
        return done();
    };
    const bool drawn = readUntil([&] {
        return screen.find("  Quor Vane  v0.6.103  |  iRacing  |  Ctrl+C to exit") != std::string::npos &&
               screen.find("108.0 km/h  ON TRACK") != std::string::npos &&
               screen.find("  5000 rpm  Gear:4") != std::string::npos && std::regex_search(screen, live);
    });
    EXPECT_TRUE(drawn) << screen.substr(screen.size() > 4000 ? screen.size() - 4000 : 0);

    ::kill(pid, SIGINT);
    readUntil([&] { return screen.find("Exited cleanly.") != std::string::npos; });
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        char buffer[4096];
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::read(master, buffer, sizeof buffer) <= 0)
            continue;
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    EXPECT_EQ(done, pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(screen.find("Exited cleanly."), std::string::npos);

    feed.signal(SIGINT);
    ASSERT_TRUE(feed.wait(kPatienceMs));
    EXPECT_EQ(feed.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(shm()));
}

}  // namespace
}  // namespace qv::test
