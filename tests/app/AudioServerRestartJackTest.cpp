// quorvane playing from qv-simfeed (the "cruise" script: the engine at
// 5000 rpm, 125 Hz on every corner) into a private JACK server that is
// killed and started again under the same name, or stopped (SIGSTOP) for
// 5 s and resumed: the shakers are heard again in a jack_capture recording
// within 10 s of the server's return, without a restart of quorvane. And a server that hangs (SIGSTOP)
// while the program recovers does not hold up Ctrl+C: the program exits at
// once and saves its settings. A saved device that is a JACK client of its
// own, closing and opening again, is connected again and plays.

#include "audio/SignalAnalysis.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FeedOnJack.h"
#include "support/PipeWireServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <thread>

namespace qv::test {
namespace {

constexpr double kRate = 48000.0;
constexpr double kEngineHz = 5000.0 / 3000.0 * 75.0;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// jack_lsp -c of the server: each port with its connections below it.
std::string jackLsp(const JackServer& server) {
    TempDir dir;
    ChildProcess lsp;
    if (!lsp.start({findProgram("jack_lsp"), "-c"}, {{"JACK_DEFAULT_SERVER", server.name()}}, dir.file("lsp.out")) ||
        !lsp.wait(10000))
        return "";
    return lsp.output();
}

using Environment = std::vector<std::pair<std::string, std::string>>;

// quorvane and qv-simfeed on an audio server (the JACK server that
// `serverEnvironment` names), with folders of their own; `recordPort` is
// the server's port that carries the first output.
class PlayingProgram {
public:
    explicit PlayingProgram(JackServer& server)
        : PlayingProgram({{"JACK_DEFAULT_SERVER", server.name()}}, "system:playback_1") {}
    PlayingProgram(Environment serverEnvironment, std::string recordPort)
        : m_serverEnvironment(std::move(serverEnvironment)), m_recordPort(std::move(recordPort)) {}
    ~PlayingProgram() {
        m_feed.signal(SIGKILL);
        m_program.signal(SIGKILL);
    }

    // The JACK device saved in the settings ("system" unless set).
    void saveDevice(std::string name) { m_device = std::move(name); }

    ::testing::AssertionResult start() {
        if (!writeJackConfig(m_config.path(), 0))
            return ::testing::AssertionFailure() << "could not write haptic_config.ini";
        if (m_device != "system") {
            std::string ini = readFile(iniPath());
            const size_t at = ini.find("name=system\n");
            if (at == std::string::npos || !writeFile(iniPath(), ini.replace(at, 12, "name=" + m_device + "\n")))
                return ::testing::AssertionFailure() << "could not save the device " << m_device;
        }
        Environment env = m_serverEnvironment;
        env.emplace_back("XDG_CONFIG_HOME", m_config.path());
        env.emplace_back("QUORVANE_SHM_DIR", m_shm.path());
        if (!m_program.start({QV_QUORVANE_PATH}, env, m_config.file("quorvane.out")))
            return ::testing::AssertionFailure() << "could not start quorvane";
        if (!m_program.waitForOutput("  [AudioEngine] Synth ready: 256 samples @ 48000 Hz", 30000))
            return ::testing::AssertionFailure() << "no synthesis:\n" << m_program.output() << m_program.errors();
        if (!m_feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise", "--duration", "120", "--shm-dir",
                           m_shm.path()},
                          env, m_config.file("feed.out")))
            return ::testing::AssertionFailure() << "could not start qv-simfeed";
        return ::testing::AssertionSuccess();
    }

    // Records the first output of the server for `seconds`.
    ::testing::AssertionResult record(int seconds, WavData& wav, const std::string& name) {
        std::string error;
        const std::string path = m_config.file(name);
        if (!jackCapture(m_serverEnvironment, {m_recordPort}, seconds, path, &error) || !readWav(path, wav, &error))
            return ::testing::AssertionFailure() << error;
        return ::testing::AssertionSuccess();
    }

    std::string watchdog() const { return readFile(m_config.path() + "QuorVane/watchdog.log"); }
    std::string iniPath() const { return m_config.path() + "QuorVane/haptic_config.ini"; }
    ChildProcess& program() { return m_program; }

private:
    Environment m_serverEnvironment;
    std::string m_recordPort;
    std::string m_device = "system";
    TempDir m_config;
    TempDir m_shm;
    ChildProcess m_program;
    ChildProcess m_feed;
};

// The start of the first 0.1 s window in which the engine
// tone plays at a tenth of its level or more; -1 when none does.
double firstSoundSeconds(const WavData& wav) {
    const size_t window = 4800;
    const auto& ch = wav.channels.at(0);
    for (size_t b = 0; b + window <= ch.size(); b += window)
        if (toneAmplitude(ch, kEngineHz, kRate, b, b + window) > 0.002)
            return static_cast<double>(b) / kRate;
    return -1.0;
}

enum class Outage { KilledAndStartedAgain, StoppedAndResumed };

class ServerOutage : public ::testing::TestWithParam<Outage> {};

TEST_P(ServerOutage, TheShakersPlayAgainWithin10SecondsOfTheServersReturn) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    PlayingProgram run(server);
    ASSERT_TRUE(run.start());

    WavData before;
    ASSERT_TRUE(run.record(3, before, "before.wav"));
    ASSERT_GE(firstSoundSeconds(before), 0.0) << "nothing played before the outage";

    if (GetParam() == Outage::KilledAndStartedAgain) {
        server.kill();
        std::this_thread::sleep_for(std::chrono::seconds(4));
        ASSERT_TRUE(run.program().isRunning());
        ASSERT_TRUE(server.start()) << server.lastError();
    } else {
        server.pause();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        ASSERT_TRUE(run.program().isRunning());
        server.resume();
    }
    WavData after;
    ASSERT_TRUE(run.record(15, after, "after.wav"));
    const double back = firstSoundSeconds(after);
    RecordProperty("seconds_to_sound", std::to_string(back));
    std::printf("  the shakers played again %.1f s after the server was back\n", back);
    EXPECT_GE(back, 0.0) << "the shakers stayed silent:\n" << run.watchdog();
    EXPECT_LE(back, 10.0) << run.watchdog();
    // And they keep playing.
    EXPECT_GT(toneAmplitude(after.channels.at(0), kEngineHz, kRate, after.frames() - 48000, after.frames()), 0.002);

    const std::string log = run.watchdog();
    EXPECT_TRUE(contains(log, "Stream stale detected, entering recovery mode")) << log;
    EXPECT_TRUE(contains(log, "RECOVERED successfully")) << log;
    EXPECT_FALSE(contains(log, "GAVE UP")) << log;

    run.program().signal(SIGINT);
    ASSERT_TRUE(run.program().wait(10000));
    EXPECT_EQ(run.program().exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(AudioServerRestartJack, ServerOutage,
                         ::testing::Values(Outage::KilledAndStartedAgain, Outage::StoppedAndResumed),
                         [](const ::testing::TestParamInfo<Outage>& info) {
                             return info.param == Outage::KilledAndStartedAgain ? std::string("Killed")
                                                                                : std::string("Stopped");
                         });

TEST(AudioServerRestartJack, CtrlCDuringARecoveryFromAHungServerExitsAtOnceAndSavesTheSettings) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    PlayingProgram run(server);
    ASSERT_TRUE(run.start());
    // Connected to the feed: the stale check runs only in connected passes.
    ASSERT_TRUE(run.program().waitForOutput("[IRacingHapticEngine] Connected", 30000)) << run.program().output();

    server.pause();
    // An attempt's new audio host waits for the stopped server.
    ASSERT_TRUE(eventually([&] { return contains(run.watchdog(), "RECOVERY attempt 1/30"); })) << run.watchdog();
    const auto savedBefore = std::filesystem::last_write_time(run.iniPath());
    // The save at exit must be able to carry a later time than that: the
    // file system's clock has moved on once a fresh file there is newer.
    const std::string probe = run.iniPath() + ".clock";
    ASSERT_TRUE(eventually([&] {
        writeFile(probe, "x");
        return std::filesystem::last_write_time(probe) > savedBefore;
    }));

    const auto interrupted = std::chrono::steady_clock::now();
    run.program().signal(SIGINT);
    const bool ended = run.program().wait(10000);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    server.resume();
    ASSERT_TRUE(ended) << run.program().output();
    std::printf("  quorvane exited %lld ms after Ctrl+C\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(run.program().exitCode(), 0);
    // Waiting for the attempt on the paused server would take the audio
    // host's 10 s start time-out or more; the exit ends it at once.
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(contains(run.program().output(), "Exited cleanly.")) << run.program().output();
    EXPECT_GT(std::filesystem::last_write_time(run.iniPath()), savedBefore);
}

// The saved device is another JACK client ("Shaker", jack_thru: its inputs
// are the device's outputs and come out at system:playback_1 and _2),
// which closes while the feed plays and opens again 3 s later: the stream
// is marked lost although jackd goes on calling it back, the recovery
// connects the program's ports to the device again and the shakers play.
TEST(AudioServerRestartJack, ADeviceClientThatClosesAndOpensAgainIsConnectedAgainAndPlays) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    TempDir logs;
    ChildProcess device;
    const auto openDevice = [&] {
        return device.start({findProgram("jack_thru"), "Shaker"}, {{"JACK_DEFAULT_SERVER", server.name()}},
                            logs.file("thru.out")) &&
               eventually([&] { return server.ports("Shaker:input_.*").size() == 2; }, 10000);
    };
    const auto connectedToDevice = [&] {
        const std::string ports = jackLsp(server);
        return contains(ports, "Quor Vane:LF\n   Shaker:input_1\n") && contains(ports, "Quor Vane:RF\n   Shaker:input_2\n");
    };
    ASSERT_TRUE(openDevice()) << device.output() << device.errors();
    PlayingProgram run(server);
    run.saveDevice("Shaker");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(eventually(connectedToDevice, 10000)) << jackLsp(server);
    WavData before;
    ASSERT_TRUE(run.record(3, before, "before.wav"));
    ASSERT_GE(firstSoundSeconds(before), 0.0) << "nothing played through the device";

    device.signal(SIGTERM);
    ASSERT_TRUE(device.wait(10000));
    EXPECT_TRUE(eventually([&] { return contains(run.watchdog(), "Stream stale detected, entering recovery mode"); },
                           10000))
        << run.watchdog();
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the device stays away this long
    ASSERT_TRUE(run.program().isRunning());
    ASSERT_TRUE(openDevice()) << device.output() << device.errors();
    EXPECT_TRUE(eventually(connectedToDevice, 15000)) << jackLsp(server) << run.watchdog();
    EXPECT_TRUE(eventually([&] { return contains(run.watchdog(), "RECOVERED successfully"); }, 15000))
        << run.watchdog();
    WavData after;
    ASSERT_TRUE(run.record(3, after, "after.wav"));
    EXPECT_GE(firstSoundSeconds(after), 0.0) << "the shakers stayed silent:\n" << run.watchdog();
    EXPECT_FALSE(contains(run.watchdog(), "GAVE UP")) << run.watchdog();

    run.program().signal(SIGINT);
    ASSERT_TRUE(run.program().wait(10000));
    EXPECT_EQ(run.program().exitCode(), 0);
    device.signal(SIGTERM);
    device.wait(10000);
}

// The same through PipeWire (its JACK library; no desktop session, no
// session manager): the server is killed and started again.
TEST(AudioServerRestartPipeWire, TheShakersPlayAgainAfterThePipeWireServerIsKilledAndStartedAgain) {
    PipeWireServer server;
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();
    PlayingProgram run(server.clientEnvironment(), "system:monitor_FL");
    ASSERT_TRUE(run.start());

    WavData before;
    ASSERT_TRUE(run.record(3, before, "before.wav"));
    ASSERT_GE(firstSoundSeconds(before), 0.0) << "nothing played before the server was killed";

    server.kill();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    ASSERT_TRUE(run.program().isRunning());
    ASSERT_TRUE(server.start()) << server.lastError();
    WavData after;
    ASSERT_TRUE(run.record(15, after, "after.wav"));
    const double back = firstSoundSeconds(after);
    RecordProperty("seconds_to_sound", std::to_string(back));
    std::printf("  the shakers played again %.1f s after the PipeWire server was back\n", back);
    EXPECT_GE(back, 0.0) << "the shakers stayed silent:\n" << run.watchdog();
    EXPECT_LE(back, 10.0) << run.watchdog();
    EXPECT_TRUE(contains(run.watchdog(), "RECOVERED successfully")) << run.watchdog();

    run.program().signal(SIGINT);
    ASSERT_TRUE(run.program().wait(10000));
    EXPECT_EQ(run.program().exitCode(), 0);
}

}  // namespace
}  // namespace qv::test
