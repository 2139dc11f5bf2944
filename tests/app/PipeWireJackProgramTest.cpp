// quorvane started plainly, as the login session's autostart entry starts
// it, on a desktop whose audio is a PipeWire server and no JACK server: it
// reaches the PipeWire sink as a JACK device through PipeWire's own JACK
// library, names its client and ports so a patchbay shows them, plays the
// feed on the right channels of the sink, and shows the buffer and latency
// of the graph's forced quantum in the console, in the audio status the
// window's header reads and in the device list the wizard reads. With a JACK
// server running beside PipeWire, that server is chosen. A second instance
// names its client "Quor Vane-01", on PipeWire as jackd does.

#include "app/AudioRuntime.h"
#include "audio/AudioHostClient.h"
#include "audio/AudioStatus.h"
#include "audio/SignalAnalysis.h"
#include "settings/LiveSettings.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FeedOnJack.h"
#include "support/JackServer.h"
#include "support/PipeWireServer.h"
#include "support/TempDir.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace qv::test {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr double kRate = 48000.0;
constexpr double kEngineHz = 5000.0 / 3000.0 * 75.0;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string figure(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2fms", ms);
    return text;
}

std::string jackLsp(const Environment& env, const std::string& logPath) {
    ChildProcess lsp;
    if (!lsp.start({findProgram("jack_lsp"), "-c"}, env, logPath) || !lsp.wait(10000))
        return "";
    return lsp.output();
}

// quorvane with folders of its own on the audio servers `serverEnvironment`
// names, stopped with Ctrl+C at the end.
class Program {
public:
    explicit Program(Environment serverEnvironment) : m_env(std::move(serverEnvironment)) {
        m_env.emplace_back("XDG_CONFIG_HOME", m_config.path());
        m_env.emplace_back("QUORVANE_SHM_DIR", m_shm.path());
    }
    ~Program() {
        m_feed.signal(SIGKILL);
        m_program.signal(SIGKILL);
    }

    ::testing::AssertionResult start(int frames) {
        if (!writeJackConfig(m_config.path(), 0))
            return ::testing::AssertionFailure() << "could not write haptic_config.ini";
        if (!m_program.start({QV_QUORVANE_PATH}, m_env, m_config.file("quorvane.out")))
            return ::testing::AssertionFailure() << "could not start quorvane";
        const std::string ready = "  [AudioEngine] Synth ready: " + std::to_string(frames) + " samples @ 48000 Hz";
        if (!m_program.waitForOutput(ready, 30000))
            return ::testing::AssertionFailure() << "no \"" << ready << "\":\n" << m_program.output() << m_program.errors();
        return ::testing::AssertionSuccess();
    }

    bool startFeed() {
        return m_feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise", "--duration", "60",
                             "--shm-dir", m_shm.path()},
                            m_env, m_config.file("feed.out"));
    }

    ::testing::AssertionResult stop() {
        m_program.signal(SIGINT);
        if (!m_program.wait(15000))
            return ::testing::AssertionFailure() << "quorvane did not exit";
        if (m_program.exitCode() != 0)
            return ::testing::AssertionFailure() << "exit code " << m_program.exitCode() << ":\n" << m_program.errors();
        return ::testing::AssertionSuccess();
    }

    std::string output() const { return m_program.output(); }
    std::string file(const std::string& name) const { return m_config.file(name); }
    std::string watchdog() const { return readFile(m_config.path() + "QuorVane/watchdog.log"); }

private:
    Environment m_env;
    TempDir m_config;
    TempDir m_shm;
    ChildProcess m_program;
    ChildProcess m_feed;
};

// The start of the first 0.1 s window with the engine tone at a tenth of
// its level or more; -1 when none.
double firstSoundSeconds(const std::vector<float>& channel) {
    const size_t window = 4800;
    for (size_t b = 0; b + window <= channel.size(); b += window)
        if (toneAmplitude(channel, kEngineHz, kRate, b, b + window) > 0.002)
            return static_cast<double>(b) / kRate;
    return -1.0;
}

// `seconds` of the server's `ports` as a JACK client records them, read back.
::testing::AssertionResult capture(const PipeWireServer& server, const std::vector<std::string>& ports, int seconds,
                                   const Program& program, WavData& wav) {
    std::string error;
    if (!jackCapture(server.clientEnvironment(), ports, seconds, program.file("monitor.wav"), &error) ||
        !readWav(program.file("monitor.wav"), wav, &error))
        return ::testing::AssertionFailure() << error;
    return ::testing::AssertionSuccess();
}

// Settings with the JACK device "system" saved at `bufferSize` frames.
HapticSettings systemOnJack(int bufferSize) {
    HapticSettings s = HapticSettings();
    s.audioDeviceIndex = 0;
    s.numDevices = 1;
    copyText(s.devices[0].name, "system");
    copyText(s.devices[0].api, "JACK");
    s.devices[0].bufferSize = bufferSize;
    s.devices[0].enabled = 1;
    return s;
}

// An audio host of the build's on `settings`.
AudioHostClient::Options hostOptions(LiveSettings& settings) {
    AudioHostClient::Options options;
    options.program = QV_AUDIOHOST_PATH;
    options.settings = &settings;
    return options;
}

// The JACK variant of "system" in `devices`; null when there is none.
const DeviceInfo* jackVariant(const std::vector<PhysicalDevice>& devices) {
    for (const PhysicalDevice& d : devices)
        for (const DeviceInfo& v : d.apis)
            if (d.hardwareName == "system" && v.hostApiName == "JACK")
                return &v;
    return nullptr;
}

// The environment of this process for the audio host a test starts here,
// put back at the end.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment& env) {
        for (const auto& [name, value] : env) {
            const char* old = std::getenv(name.c_str());
            m_saved.push_back({name, old != nullptr, old ? old : ""});
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const Saved& s : m_saved) {
            if (s.had)
                ::setenv(s.name.c_str(), s.value.c_str(), 1);
            else
                ::unsetenv(s.name.c_str());
        }
    }

private:
    struct Saved {
        std::string name;
        bool had;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

class PipeWireQuantum : public ::testing::TestWithParam<int> {};

TEST_P(PipeWireQuantum, APlainStartPlaysIntoThePipeWireSinkAtTheGraphsQuantum) {
    const int quantum = GetParam();
    const double periodMs = quantum / kRate * 1000.0;
    PipeWireServer server;
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();
    ASSERT_TRUE(server.forceQuantum(quantum)) << server.lastError();

    Program program(server.programEnvironment());
    ASSERT_TRUE(program.start(quantum));
    const std::string out = program.output();
    EXPECT_TRUE(contains(out, "  Physical audio devices (JACK through PipeWire, no JACK server running):\n")) << out;
    EXPECT_TRUE(contains(out, "  0   system                              JACK                8     yes\n")) << out;
    EXPECT_TRUE(contains(out, "    Buffer     : " + std::to_string(quantum) + " samples (" + figure(periodMs) +
                                  "), set by the server\n"))
        << out;
    EXPECT_TRUE(contains(out, "    Latency    : " + figure(periodMs) + " (one server period)\n")) << out;

    // The client and its ports as a patchbay shows them: the zones LF, RF,
    // LR and RR on the first four channels, the others by number.
    const std::string ports = jackLsp(server.clientEnvironment(), program.file("lsp.out"));
    for (const char* link : {"Quor Vane:LF\n   system:playback_FL\n", "Quor Vane:RF\n   system:playback_FR\n",
                             "Quor Vane:LR\n   system:playback_RL\n", "Quor Vane:RR\n   system:playback_RR\n",
                             "Quor Vane:out_5\n   system:playback_FC\n", "Quor Vane:out_8\n   system:playback_SR\n"})
        EXPECT_TRUE(contains(ports, link)) << link << " in:\n" << ports;
    EXPECT_FALSE(contains(ports, "PortAudio")) << ports;

    // The feed plays on the four corners' channels of the sink and nowhere else.
    ASSERT_TRUE(program.startFeed());
    WavData wav;
    ASSERT_TRUE(capture(server, {"system:monitor_FL", "system:monitor_FR", "system:monitor_RL", "system:monitor_RR",
                                 "system:monitor_FC", "system:monitor_SR"},
                        5, program, wav));
    ASSERT_EQ(wav.channels.size(), 6u);
    for (int c = 0; c < 4; ++c)
        EXPECT_GE(firstSoundSeconds(wav.channels[static_cast<size_t>(c)]), 0.0) << "corner channel " << c << " silent";
    EXPECT_LT(peakAbs(wav.channels[4]), 1e-4) << "the fifth channel has no zone";
    EXPECT_LT(peakAbs(wav.channels[5]), 1e-4) << "the eighth channel has no zone";
    EXPECT_TRUE(program.stop());

    // The figures the window reads: the wizard's device list and the
    // header's status row, from an audio host started the same way.
    ScopedEnvironment env(server.programEnvironment());
    // The host asks PipeWire for its saved buffer size, and a smaller
    // request may take the graph below the forced quantum while the client
    // joins: this is about the figures of a forced graph, so it asks for the
    // forced size.
    LiveSettings settings;
    settings.replace(systemOnJack(quantum));
    AudioHostClient host(hostOptions(settings));
    host.start();
    const std::vector<PhysicalDevice> devices = host.devices();
    const DeviceInfo* jack = jackVariant(devices);
    ASSERT_NE(jack, nullptr) << host.lastErrorText();
    EXPECT_EQ(jack->serverBufferFrames, quantum);
    EXPECT_NEAR(jack->serverLatencyMs, periodMs, 0.01);
    const AudioInitResult result = host.initAudio();
    ASSERT_TRUE(result.ok) << host.lastErrorText();
    EXPECT_NEAR(result.latencyMs, periodMs, 0.01);
    EXPECT_NEAR(deviceStatus().rows[0].latencyMs, periodMs, 0.01);
    host.closeAll();
}

INSTANTIATE_TEST_SUITE_P(PipeWireJackProgram, PipeWireQuantum, ::testing::Values(512, 1024));

TEST(PipeWireJackProgram, ARunningJackServerIsChosenOverPipeWire) {
    PipeWireServer pipeWire;
    if (!pipeWire.isAvailable())
        GTEST_SKIP() << pipeWire.lastError();
    ASSERT_TRUE(pipeWire.start()) << pipeWire.lastError();
    JackServer jack;
    ASSERT_TRUE(jack.start()) << jack.lastError() << jack.log();

    Environment env = pipeWire.programEnvironment();
    for (auto& [name, value] : env)
        if (name == "JACK_DEFAULT_SERVER")
            value = jack.name();
    Program program(env);
    ASSERT_TRUE(program.start(256));
    const std::string out = program.output();
    EXPECT_TRUE(contains(out, "  Physical audio devices (JACK through the running JACK server):\n")) << out;
    // jackd's period (256 frames): PortAudio's figure is one period here.
    EXPECT_TRUE(contains(out, "    Buffer     : 256 samples (5.33ms), set by the server\n"
                              "    Latency    : 5.33ms (one server period)\n"))
        << out;
    const std::vector<std::string> ports = jack.ports("Quor Vane:.*");
    EXPECT_EQ(ports, (std::vector<std::string>{"Quor Vane:LF", "Quor Vane:RF", "Quor Vane:LR", "Quor Vane:RR",
                                               "Quor Vane:out_5", "Quor Vane:out_6", "Quor Vane:out_7",
                                               "Quor Vane:out_8"}));
    EXPECT_TRUE(program.stop());
}

// A host on a desktop's graph (1024 frames unless a client asks for less)
// with 256 frames saved: the graph runs at 256, the device list and the
// stream show it; a quantum forced while playing and let go again shows in
// the figures within a second or so; a sink removed while playing makes the
// stream stale although PipeWire goes on calling it back.
TEST(PipeWireJackProgram, AHostAsksForTheSavedBufferSizeFollowsTheGraphAndNoticesItsSinkGone) {
    PipeWireServer server(PipeWireClock::Desktop);
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();
    ASSERT_EQ(server.quantum(), 1024);

    ScopedEnvironment env(server.programEnvironment());
    LiveSettings settings;
    settings.replace(systemOnJack(256));
    AudioHostClient host(hostOptions(settings));
    host.start();
    const std::vector<PhysicalDevice> devices = host.devices();
    const DeviceInfo* jack = jackVariant(devices);
    ASSERT_NE(jack, nullptr) << host.lastErrorText();
    EXPECT_EQ(jack->serverBufferFrames, 256);
    const AudioInitResult result = host.initAudio();
    ASSERT_TRUE(result.ok) << host.lastErrorText();
    EXPECT_NEAR(result.latencyMs, 256 / kRate * 1000.0, 0.01);

    // PipeWire 0.3.65 keeps a released quantum until its graph changes
    // next, so the way back is forced as well.
    struct Step {
        int forced;
        int expected;  // what the streams play at then
    };
    for (const Step& step : {Step{512, 512}, Step{256, 256}}) {
        ASSERT_TRUE(server.forceQuantum(step.forced)) << server.lastError();
        const double periodMs = step.expected / kRate * 1000.0;
        EXPECT_TRUE(eventually([&] {
            host.syncSettings();
            return host.serverBufferFrames() == step.expected &&
                   std::abs(deviceStatus().rows[0].latencyMs - periodMs) < 0.01;
        }, 5000))
            << "forced " << step.forced << ": " << host.serverBufferFrames() << " frames, "
            << deviceStatus().rows[0].latencyMs << " ms";
    }

    EXPECT_FALSE(host.hasStaleStream(1000));
    ASSERT_TRUE(server.destroySink()) << server.lastError();
    EXPECT_TRUE(eventually([&] { return host.hasStaleStream(1000); }, 3000)) << "the lost sink went unnoticed";
    host.closeAll();
}

// A full start on a desktop's graph with 256 frames saved: the graph runs
// at 256 as the program's own JACK client, active in the graph, sees it
// (jack_bufsize is not activated: PipeWire's JACK library answers it with
// the graph's configured quantum), the console says so and the feed plays.
TEST(PipeWireJackProgram, AStartOnADesktopGraphRunsItAtTheSavedBufferSizeAndPlays) {
    PipeWireServer server(PipeWireClock::Desktop);
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();
    ASSERT_EQ(server.quantum(), 1024);

    Program program(server.programEnvironment());
    ASSERT_TRUE(program.start(256));  // 256 frames saved: "Synth ready: 256 samples"
    EXPECT_TRUE(contains(program.output(), "    Buffer     : 256 samples (5.33ms), set by the server\n"
                                           "    Latency    : 5.33ms (one server period)\n"))
        << program.output();
    ASSERT_TRUE(program.startFeed());
    WavData wav;
    ASSERT_TRUE(capture(server, {"system:monitor_FL", "system:monitor_FR", "system:monitor_RL", "system:monitor_RR"}, 3,
                        program, wav));
    ASSERT_EQ(wav.channels.size(), 4u);
    for (int c = 0; c < 4; ++c)
        EXPECT_GE(firstSoundSeconds(wav.channels[static_cast<size_t>(c)]), 0.0) << "corner channel " << c << " silent";
    EXPECT_TRUE(program.stop());
}

// The GUI's copy of the device list (what the wizard reads) follows the
// graph: a quantum forced while the streams run reaches the device-list
// listener as the JACK variant's server size and latency, on a variant
// marked as one whose server grants the size asked for.
TEST(PipeWireJackProgram, TheGuisDeviceListFollowsTheGraphsQuantum) {
    PipeWireServer server(PipeWireClock::Desktop);
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();

    ScopedEnvironment env(server.programEnvironment());
    LiveSettings settings;
    settings.replace(systemOnJack(256));
    AudioRuntime::Options options;
    options.hostProgram = QV_AUDIOHOST_PATH;
    options.settings = &settings;
    AudioRuntime runtime(options);
    std::mutex mutex;
    std::vector<PhysicalDevice> shared;
    runtime.setDevicesListener([&](const std::vector<PhysicalDevice>& list) {
        std::lock_guard<std::mutex> lock(mutex);
        shared = list;
    });
    // The JACK variant of "system" in the list the GUI was given last.
    const auto jackVariantShown = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        const DeviceInfo* v = jackVariant(shared);
        return v ? *v : DeviceInfo{};
    };
    runtime.start();
    ASSERT_TRUE(runtime.waitUntilStarted(30000));
    ASSERT_EQ(runtime.audioOk(), 1) << runtime.backend().lastErrorText();
    EXPECT_EQ(jackVariantShown().serverBufferFrames, 256);
    EXPECT_TRUE(jackVariantShown().serverTakesRequest);

    ASSERT_TRUE(server.forceQuantum(512)) << server.lastError();
    EXPECT_TRUE(eventually([&] {
        runtime.serviceLatencyRequest();  // a pass of the run loop takes the host's notices
        const DeviceInfo v = jackVariantShown();
        return v.serverBufferFrames == 512 && std::abs(v.serverLatencyMs - 512 / kRate * 1000.0) < 0.01;
    }, 5000))
        << jackVariantShown().serverBufferFrames << " frames, " << jackVariantShown().serverLatencyMs << " ms";
    EXPECT_TRUE(jackVariantShown().serverTakesRequest);
    runtime.stopAcceptingWork();
    ASSERT_TRUE(runtime.waitIdle(10000));
    runtime.closeAll();
}

enum class Server { PipeWire, Jackd };

class SecondInstance : public ::testing::TestWithParam<Server> {};

// Two instances with settings folders of their own on one server: the
// second's client and ports carry the suffix jackd gives ("Quor Vane-01"),
// on PipeWire's JACK library too, which would let both be "Quor Vane".
TEST_P(SecondInstance, TheSecondInstancesClientTakesTheNextFreeName) {
    PipeWireServer pipeWire;
    JackServer jack;
    Environment programEnv;
    Environment clientEnv;
    if (GetParam() == Server::PipeWire) {
        if (!pipeWire.isAvailable())
            GTEST_SKIP() << pipeWire.lastError();
        ASSERT_TRUE(pipeWire.start()) << pipeWire.lastError();
        programEnv = pipeWire.programEnvironment();
        clientEnv = pipeWire.clientEnvironment();
    } else {
        ASSERT_TRUE(jack.start()) << jack.lastError() << jack.log();
        programEnv = {{"JACK_DEFAULT_SERVER", jack.name()}};
        clientEnv = programEnv;
    }
    Program first(programEnv);
    ASSERT_TRUE(first.start(256));
    Program second(programEnv);
    ASSERT_TRUE(second.start(256));
    std::string ports;
    EXPECT_TRUE(eventually([&] {
        ports = jackLsp(clientEnv, second.file("lsp.out"));
        return contains(ports, "Quor Vane:LF\n   system:playback_") &&
               contains(ports, "Quor Vane-01:LF\n   system:playback_") &&
               contains(ports, "Quor Vane-01:RR\n   system:playback_");
    }, 10000))
        << ports;
    EXPECT_FALSE(contains(ports, "Quor Vane-02")) << ports;
    EXPECT_TRUE(second.stop());
    EXPECT_TRUE(first.stop());
}

INSTANTIATE_TEST_SUITE_P(PipeWireJackProgram, SecondInstance, ::testing::Values(Server::PipeWire, Server::Jackd),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             return info.param == Server::PipeWire ? std::string("PipeWire") : std::string("Jackd");
                         });

// The sink removed while a feed plays and added back 3 s later: the
// recovery finds it again, connects the same channels and the feed plays
// into it within 5 s of its return.
TEST(PipeWireJackProgram, ASinkRemovedWhilePlayingAndAddedBackPlaysAgain) {
    PipeWireServer server(PipeWireClock::Desktop);
    if (!server.isAvailable())
        GTEST_SKIP() << server.lastError();
    ASSERT_TRUE(server.start()) << server.lastError();

    Program program(server.programEnvironment());
    ASSERT_TRUE(program.start(256));  // 256 frames saved
    ASSERT_TRUE(program.startFeed());
    ASSERT_TRUE(server.destroySink()) << server.lastError();
    EXPECT_TRUE(eventually([&] { return contains(program.watchdog(), "Stream stale detected, entering recovery mode"); },
                           5000))
        << program.watchdog();
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the device stays away this long
    ASSERT_TRUE(server.createSink()) << server.lastError();
    const auto back = std::chrono::steady_clock::now();
    EXPECT_TRUE(eventually([&] {
        const std::string ports = jackLsp(server.clientEnvironment(), program.file("lsp.out"));
        return contains(ports, "Quor Vane:LF\n   system:playback_FL\n") &&
               contains(ports, "Quor Vane:RR\n   system:playback_RR\n");
    }, 5000))
        << program.watchdog();
    const double left = 5.0 - std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count();
    WavData wav;
    ASSERT_TRUE(capture(server, {"system:monitor_FL", "system:monitor_RR"}, 2, program, wav));
    EXPECT_GE(left, 0.0) << "the ports were connected again too late";
    for (int c = 0; c < 2; ++c)
        EXPECT_GE(firstSoundSeconds(wav.channels[static_cast<size_t>(c)]), 0.0) << "channel " << c << " silent";
    const std::string log = program.watchdog();
    EXPECT_TRUE(contains(log, "RECOVERY attempt 1/30")) << log;
    EXPECT_FALSE(contains(log, "GAVE UP")) << log;
    EXPECT_TRUE(program.stop());
}

}  // namespace
}  // namespace qv::test
