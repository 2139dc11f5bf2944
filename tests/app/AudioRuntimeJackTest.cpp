// The audio runtime on a private JACK server (dummy back-end), with
// PortAudio in the audio host process as the program runs it: a server that
// is paused (SIGSTOP) or killed and started again is recovered without a
// restart of the runtime; a server gone for good uses up the attempts, gives
// up once and leaves no process, thread or descriptor behind; shutdown never
// waits for a hung host; a latency-test request is served through jackd's
// loopback client as the cable.

#include "app/AudioRuntime.h"
#include "audio/AudioStatus.h"
#include "platform/Output.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

int entriesIn(const char* folder) {
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

// Children of this process (zombies included) running qv-audiohost.
int audioHostChildren() {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const size_t open = line.find('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= line.size())
            continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        char state = 0;
        long ppid = 0;
        if (std::sscanf(line.c_str() + close + 2, "%c %ld", &state, &ppid) == 2 && ppid == ::getpid() &&
            comm == "qv-audiohost")
            ++n;
    }
    return n;
}

// The first device slot names a device of the JACK server (resolved by name).
void useJackDevice(LiveSettings& settings, const char* name, int channels = 0) {
    settings.edit(
        [&](HapticSettings& s) {
            s.audioDeviceIndex = 0;
            copyText(s.devices[0].name, name);
            copyText(s.devices[0].api, "JACK");
            s.devices[0].channels = channels;
        },
        false);
}

class AudioRuntimeJack : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(watchdog.open(dir.file("watchdog.log"))); }

    // The host's time-outs are what a hung audio server costs a worker that
    // is not stopped; the shutdown tests make them long, so a shutdown that
    // waits for one stands far apart from one that ends at once.
    std::unique_ptr<AudioRuntime> makeRuntime(const char* device = "system", int channels = 0,
                                              int hostStartTimeoutMs = 5000, int hostRequestTimeoutMs = 8000) {
        useJackDevice(settings, device, channels);
        AudioRuntime::Options options;
        options.hostProgram = QV_AUDIOHOST_PATH;
        options.watchdog = &watchdog;
        options.settings = &settings;
        options.hostStartTimeoutMs = hostStartTimeoutMs;
        options.hostRequestTimeoutMs = hostRequestTimeoutMs;
        return std::make_unique<AudioRuntime>(options);
    }
    std::string log() { return readFile(dir.file("watchdog.log")); }
    // The run loop checks every 2 s; here as often as needed.
    bool checkUntilLogged(AudioRuntime& runtime, const std::string& line, int timeoutMs) {
        return eventually(
            [&] {
                runtime.checkStreams();
                return contains(log(), line);
            },
            timeoutMs);
    }
    // The streams call back: the first stream's heartbeat moves on.
    bool streamsPlay(AudioRuntime& runtime) {
        IAudioBackend& backend = runtime.backend();
        if (!eventually([&] { return backend.streamsCalledBack(); }, 10000))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return backend.isStreamRunning(0) && !backend.hasStaleStream(kStaleThresholdMs);
    }
    void shutDown(AudioRuntime& runtime) {
        runtime.stopAcceptingWork();
        ASSERT_TRUE(runtime.waitIdle(10000));
        runtime.closeAll();
    }

    OutputCapture quiet{[](OutputStream, std::string_view) {}};
    TempDir dir;
    WatchdogLog watchdog;
    LiveSettings settings;
};

TEST_F(AudioRuntimeJack, APausedServerIsRecoveredAfterItResumes) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    auto runtime = makeRuntime();
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();
    ASSERT_EQ(runtime->audioChannels(), 8);
    ASSERT_TRUE(streamsPlay(*runtime));

    server.pause();
    const bool detected = checkUntilLogged(*runtime, "Stream stale detected, entering recovery mode", 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(5000));
    server.resume();
    EXPECT_TRUE(detected);

    EXPECT_TRUE(checkUntilLogged(*runtime, "RECOVERED successfully", 60000)) << log();
    EXPECT_TRUE(contains(log(), "RECOVERY attempt 1/30")) << log();
    EXPECT_TRUE(contains(log(), "reEnumerate() starting")) << log();
    ASSERT_TRUE(eventually([&] { return !runtime->isWorkerBusy(); }, 30000));
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_TRUE(streamsPlay(*runtime));
    EXPECT_EQ(audioHostChildren(), 1);
    shutDown(*runtime);
}

// The saved device is a JACK client of its own ("Shaker", jack_thru) that
// closes while its stream plays: from the moment the stale check sees the
// stream lost, the window's notice names the device as gone (not nothing
// while no audio plays), and once the device is back the notice goes.
TEST_F(AudioRuntimeJack, ADeviceThatWentAwayIsNamedInTheWindowsNoticeUntilItIsBack) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    ChildProcess device;
    const auto openDevice = [&] {
        return device.start({findProgram("jack_thru"), "Shaker"}, {{"JACK_DEFAULT_SERVER", server.name()}},
                            dir.file("thru.out")) &&
               eventually([&] { return server.ports("Shaker:input_.*").size() == 2; }, 10000);
    };
    ASSERT_TRUE(openDevice()) << device.output() << device.errors();
    auto runtime = makeRuntime("Shaker");
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();
    ASSERT_TRUE(streamsPlay(*runtime));
    EXPECT_EQ(audioNotice().problem, AudioProblem::None);

    device.signal(SIGTERM);
    ASSERT_TRUE(device.wait(10000));
    ASSERT_TRUE(checkUntilLogged(*runtime, "Stream stale detected, entering recovery mode", 10000)) << log();
    const AudioNotice gone = audioNotice();
    EXPECT_EQ(gone.problem, AudioProblem::DeviceNotFound);
    EXPECT_STREQ(gone.deviceName, "Shaker");
    EXPECT_STREQ(gone.text, "Device 'Shaker' is gone: looking for it again");
    EXPECT_EQ(gAudioReady.load(), 0);
    // The attempts while it is away say it is not listed.
    ASSERT_TRUE(checkUntilLogged(*runtime, "initAudio error:", 30000)) << log();
    EXPECT_EQ(audioNotice().problem, AudioProblem::DeviceNotFound);
    EXPECT_STREQ(audioNotice().deviceName, "Shaker");

    ASSERT_TRUE(openDevice()) << device.output() << device.errors();
    ASSERT_TRUE(checkUntilLogged(*runtime, "RECOVERED successfully", 30000)) << log();
    EXPECT_EQ(audioNotice().problem, AudioProblem::None);
    shutDown(*runtime);
    device.signal(SIGTERM);
    device.wait(10000);
}

TEST_F(AudioRuntimeJack, AServerKilledAndStartedAgainIsPlayedAgainWithinSeconds) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    auto runtime = makeRuntime();
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();
    ASSERT_TRUE(streamsPlay(*runtime));

    server.kill();
    ASSERT_TRUE(checkUntilLogged(*runtime, "Stream stale detected, entering recovery mode", 10000)) << log();
    // Attempts while the server is away fail: the device is not listed.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_FALSE(contains(log(), "RECOVERED successfully"));

    ASSERT_TRUE(server.start()) << server.lastError();
    const auto restarted = std::chrono::steady_clock::now();
    // The program checks every 2 s: one check per 2 s here as well.
    bool recovered = false;
    while (!recovered && std::chrono::steady_clock::now() - restarted < std::chrono::seconds(30)) {
        runtime->checkStreams();
        recovered = contains(log(), "RECOVERED successfully");
        if (!recovered)
            std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - restarted).count();
    // How soon is no behaviour of its own: the checks come every 2 s and an
    // attempt may wait for a slow server; the 30 s above only bound a failure.
    ASSERT_TRUE(recovered) << log();
    std::printf("  recovered %lld s after the server came back\n", static_cast<long long>(seconds));
    ASSERT_TRUE(eventually([&] { return !runtime->isWorkerBusy(); }, 30000));
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_TRUE(streamsPlay(*runtime));
    EXPECT_FALSE(contains(log(), "GAVE UP")) << log();
    shutDown(*runtime);
    EXPECT_EQ(audioHostChildren(), 0);
}

TEST_F(AudioRuntimeJack, AServerGoneForGoodUsesUpTheAttemptsGivesUpOnceAndLeavesNothingBehind) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    auto runtime = makeRuntime("system", 0, 5000, 30000);
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();
    ASSERT_TRUE(streamsPlay(*runtime));
    const int fds = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");
    ASSERT_EQ(audioHostChildren(), 1);

    server.kill();
    ASSERT_TRUE(checkUntilLogged(*runtime, "GAVE UP after max retries", 240000)) << log();
    ASSERT_TRUE(eventually([&] { return !runtime->isWorkerBusy(); }, 30000));
    // Later checks start nothing and log nothing.
    for (int i = 0; i < 5; ++i)
        runtime->checkStreams();
    EXPECT_FALSE(runtime->isWorkerBusy());
    const std::string text = log();
    EXPECT_EQ(count(text, "RECOVERY attempt "), 30) << text;
    EXPECT_TRUE(contains(text, "RECOVERY attempt 30/30")) << text;
    EXPECT_EQ(count(text, "GAVE UP after max retries"), 1) << text;
    EXPECT_EQ(count(text, "RECOVERED successfully"), 0) << text;
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_EQ(gAudioReady.load(), 0);

    // 30 hosts were started and dropped: one (the last) is left, and the
    // program holds no more descriptors or threads than before.
    EXPECT_EQ(audioHostChildren(), 1);
    EXPECT_EQ(entriesIn("/proc/self/fd"), fds);
    EXPECT_TRUE(eventually([&] { return entriesIn("/proc/self/task") <= threads; }, 5000))
        << entriesIn("/proc/self/task") << " threads, " << threads << " before";

    // The last host is told to quit: a shutdown that waited for its answer
    // the full request time-out would take 30 s; ending at once takes well
    // under a second, a little more on a busy machine.
    const auto before = std::chrono::steady_clock::now();
    shutDown(*runtime);
    runtime.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(audioHostChildren(), 0);
}

TEST_F(AudioRuntimeJack, ShutdownDuringAnAttemptOnAPausedServerEndsAtOnce) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    auto runtime = makeRuntime("system", 0, 30000, 30000);
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();
    ASSERT_TRUE(streamsPlay(*runtime));

    server.pause();
    ASSERT_TRUE(checkUntilLogged(*runtime, "RECOVERY attempt 1/30", 10000)) << log();
    // The attempt's new host waits for the paused server.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(runtime->isWorkerBusy());
    // The attempt would wait 30 s for the paused server; the shutdown ends
    // it at once (well under a second, a little more on a busy machine).
    const auto before = std::chrono::steady_clock::now();
    runtime->stopAcceptingWork();
    EXPECT_TRUE(runtime->waitIdle(60000));
    runtime->closeAll();
    runtime.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(audioHostChildren(), 0);
    server.resume();
}

TEST_F(AudioRuntimeJack, ALatencyRequestMeasuresTheWireAndBringsTheShakersBack) {
    JackServer server;
    JackServer::Options serverOptions;
    serverOptions.loopbackPorts = 2;
    ASSERT_TRUE(server.start(serverOptions)) << server.lastError();
    ASSERT_TRUE(eventually([&] { return server.ports("^loopback:").size() == 4; })) << server.log();

    auto runtime = makeRuntime("loopback", 2);
    runtime->start();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->backend().lastErrorText();

    gLatencyTestResultMs = -1.0f;
    gLatencyInputDevice = -1;  // the engine finds the wire's inputs
    gLatencyTestRequest = 1;
    // The run loop serves the request in every pass, connected or not.
    ASSERT_TRUE(eventually(
        [&] {
            runtime->serviceLatencyRequest();
            return gLatencyTestRequest.load() == 0;
        },
        40000));
    ASSERT_TRUE(eventually([&] { return !runtime->isWorkerBusy(); }, 30000));
    const float oneWay = gLatencyTestResultMs.load();
    EXPECT_GT(oneWay, 0.0f);
    EXPECT_LT(oneWay, 20.0f);
    // The shakers' stream is back and calls back.
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_TRUE(streamsPlay(*runtime));
    shutDown(*runtime);
}

}  // namespace
}  // namespace qv::test
