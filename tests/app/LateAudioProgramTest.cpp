// quorvane started before its saved audio device exists: the audio server
// comes later (a private PipeWire server started 5 s after the program,
// headless and with a window on a private X server managed by openbox; a
// private JACK server started 5 s after the program). The program finds the
// device by itself and plays, saying so once on the console and once in
// watchdog.log, and Ctrl+C still ends it at once while it looks.

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FeedOnJack.h"
#include "support/JackServer.h"
#include "support/PipeWireServer.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace qv::test {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr int kPatienceMs = 30000;  // bounds a failing run
constexpr auto kServerLead = std::chrono::seconds(5);
constexpr const char* kNotFound = "  WARNING: Saved device 'system' not found";
constexpr const char* kFoundLine = "  [AudioEngine] Saved device 'system' found: the shakers play\n";
constexpr const char* kFoundLog = "] Saved device 'system' found: the shakers play\n";
constexpr const char* kPlaying = "  [AudioEngine] Synth ready: ";

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

long long msSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - from).count();
}

// quorvane with folders of its own and the JACK device "system" saved.
class Program {
public:
    ~Program() { m_process.signal(SIGKILL); }

    ::testing::AssertionResult start(Environment env) {
        if (!writeJackConfig(m_config.path(), 0))
            return ::testing::AssertionFailure() << "could not write haptic_config.ini";
        env.emplace_back("XDG_CONFIG_HOME", m_config.path());
        env.emplace_back("HOME", m_config.path());
        env.emplace_back("QUORVANE_SHM_DIR", m_shm.path());
        if (!m_process.start({QV_QUORVANE_PATH}, env, m_config.file("quorvane.out")))
            return ::testing::AssertionFailure() << "could not start quorvane";
        if (!m_process.waitForOutput(kNotFound, kPatienceMs))
            return ::testing::AssertionFailure() << "the saved device was found at start:\n" << diagnostics();
        return ::testing::AssertionSuccess();
    }

    // Ctrl+C; the time the program took to end, or -1.
    long long interrupt() {
        const auto sent = std::chrono::steady_clock::now();
        m_process.signal(SIGINT);
        if (!m_process.wait(kPatienceMs))
            return -1;
        return msSince(sent);
    }

    std::string output() const { return m_process.output(); }
    std::string watchdog() const { return readFile(m_config.path() + "QuorVane/watchdog.log"); }
    std::string diagnostics() const { return output() + m_process.errors() + watchdog(); }
    ChildProcess& process() { return m_process; }

private:
    TempDir m_config;
    TempDir m_shm;
    ChildProcess m_process;
};

// After the server's start: the program plays within 5 s, with one line
// each on the console and in the log, and ends cleanly on Ctrl+C.
void expectPickedUp(Program& program, std::chrono::steady_clock::time_point serverUp) {
    ASSERT_TRUE(eventually([&] { return program.output().find(kPlaying) != std::string::npos; }, kPatienceMs))
        << "the program never played:\n"
        << program.diagnostics();
    const long long took = msSince(serverUp);
    std::printf("  playing %lld ms after the server's start\n", took);
    EXPECT_LE(took, 5000) << program.diagnostics();
    const std::string out = program.output();
    EXPECT_EQ(countOf(out, kFoundLine), 1) << out;
    EXPECT_EQ(countOf(out, kNotFound), 1) << out;
    EXPECT_EQ(countOf(program.watchdog(), kFoundLog), 1) << program.watchdog();
    EXPECT_GE(program.interrupt(), 0) << program.diagnostics();
    EXPECT_EQ(program.process().exitCode(), 0) << program.diagnostics();
}

enum class Desktop { Headless, Openbox };

class LatePipeWire : public ::testing::TestWithParam<Desktop> {};

TEST_P(LatePipeWire, AProgramStartedBeforeThePipeWireServerPlaysWithin5SecondsOfItsStart) {
    PipeWireServer server;
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    XvfbServer x;
    Environment env = server.programEnvironment();
    if (GetParam() == Desktop::Openbox) {
        ASSERT_TRUE(x.start("1280x800x24", WindowManager::Openbox)) << x.error();
        env.emplace_back("DISPLAY", x.display());
    }
    Program program;
    ASSERT_TRUE(program.start(env));
    std::this_thread::sleep_for(kServerLead);
    ASSERT_TRUE(program.process().isRunning()) << program.diagnostics();
    ASSERT_TRUE(server.start()) << server.lastError();
    expectPickedUp(program, std::chrono::steady_clock::now());
}

INSTANTIATE_TEST_SUITE_P(LateAudioProgram, LatePipeWire, ::testing::Values(Desktop::Headless, Desktop::Openbox),
                         [](const ::testing::TestParamInfo<Desktop>& info) {
                             return info.param == Desktop::Headless ? std::string("Headless")
                                                                    : std::string("Openbox");
                         });

TEST(LateAudioProgramJack, AJackServerStartedAfterTheProgramIsPickedUp) {
    JackServer server;
    Program program;
    ASSERT_TRUE(program.start({{"JACK_DEFAULT_SERVER", server.name()}}));
    std::this_thread::sleep_for(kServerLead);
    ASSERT_TRUE(program.process().isRunning()) << program.diagnostics();
    // Looks that found the same devices printed no table of their own.
    ASSERT_TRUE(eventually([&] { return countOf(program.watchdog(), "reEnumerate() done") >= 2; }, kPatienceMs))
        << program.diagnostics();
    ASSERT_TRUE(server.start()) << server.lastError() << server.log();
    const auto up = std::chrono::steady_clock::now();
    ASSERT_TRUE(eventually([&] { return !server.ports("Quor Vane:.*").empty(); }, kPatienceMs))
        << program.diagnostics();
    expectPickedUp(program, up);
    // The start's table and the one that lists the server.
    EXPECT_EQ(countOf(program.output(), "  Physical audio devices"), 2) << program.output();
}

TEST(LateAudioProgramJack, CtrlCWhileTheSavedDeviceIsMissingEndsTheProgramAtOnce) {
    JackServer server;  // never started: its name finds no server
    Program program;
    ASSERT_TRUE(program.start({{"JACK_DEFAULT_SERVER", server.name()}}));
    // A look has run (a fresh device list); the next one may be under way.
    ASSERT_TRUE(eventually([&] { return program.watchdog().find("reEnumerate() done") != std::string::npos; },
                           kPatienceMs))
        << program.diagnostics();
    const long long took = program.interrupt();
    std::printf("  quorvane ended %lld ms after Ctrl+C\n", took);
    ASSERT_GE(took, 0) << program.diagnostics();
    EXPECT_LT(took, 5000) << program.diagnostics();
    EXPECT_EQ(program.process().exitCode(), 0) << program.diagnostics();
}

}  // namespace
}  // namespace qv::test
