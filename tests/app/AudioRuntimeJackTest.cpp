// The audio runtime on a private JACK server (dummy back-end): stream-stale
// recovery for real (the server is paused with SIGSTOP for 3 s, the stale
// stream is detected, recovered after SIGCONT, and audio flows again), and a
// latency-test request served through jackd's loopback client as the cable.

#include "app/AudioRuntime.h"
#include "audio/AudioEngine.h"
#include "audio/AudioStatus.h"
#include "platform/Output.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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

TEST(AudioRuntimeJack, APausedServerIsDetectedAndRecoveredAfterItResumes) {
    OutputCapture quiet([](OutputStream, std::string_view) {});
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();

    TempDir dir;
    WatchdogLog watchdog;
    ASSERT_TRUE(watchdog.open(dir.file("watchdog.log")));
    LiveSettings settings;
    useJackDevice(settings, "system");
    AudioRuntime::Options options;
    options.watchdog = &watchdog;
    options.settings = &settings;
    AudioRuntime runtime(options);
    runtime.start();
    ASSERT_EQ(runtime.audioOk(), 1) << runtime.engine()->lastErrorText();
    ASSERT_EQ(runtime.audioChannels(), 8);
    AudioEngine& engine = *runtime.engine();
    ASSERT_TRUE(eventually([&] { return engine.hasFirstCallback(); }, 20000));

    server.pause();
    // The check runs every 2 s in the program; here as often as needed.
    const bool detected = eventually(
        [&] {
            runtime.checkStreams();
            return contains(readFile(dir.file("watchdog.log")), "Stream stale detected, entering recovery mode");
        },
        10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    server.resume();
    EXPECT_TRUE(detected);

    const bool recovered = eventually(
        [&] {
            runtime.checkStreams();
            return contains(readFile(dir.file("watchdog.log")), "RECOVERED successfully");
        },
        60000);
    const std::string log = readFile(dir.file("watchdog.log"));
    EXPECT_TRUE(recovered) << log;
    EXPECT_TRUE(contains(log, "RECOVERY attempt 1/30")) << log;
    EXPECT_TRUE(contains(log, "reEnumerate() starting")) << log;
    ASSERT_TRUE(eventually([&] { return !runtime.isWorkerBusy(); }, 30000));

    // Audio flows again: the new stream's heartbeats move on.
    EXPECT_EQ(runtime.audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
    const StreamSlot* slot = engine.stream(0);
    ASSERT_NE(slot, nullptr);
    const uint32_t before = slot->heartbeatTick.load();
    EXPECT_TRUE(eventually([&] { return slot->heartbeatTick.load() != before; }, 10000));
    EXPECT_FALSE(engine.hasStaleStream(kStaleThresholdMs));

    runtime.stopAcceptingWork();
    ASSERT_TRUE(runtime.waitIdle(10000));
    runtime.closeAll();
}

TEST(AudioRuntimeJack, AKilledServerNeitherHangsTheRecoveryNorTheShutdown) {
    OutputCapture quiet([](OutputStream, std::string_view) {});
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    TempDir dir;
    WatchdogLog watchdog;
    ASSERT_TRUE(watchdog.open(dir.file("watchdog.log")));
    LiveSettings settings;
    useJackDevice(settings, "system");
    AudioRuntime::Options options;
    options.watchdog = &watchdog;
    options.settings = &settings;
    options.callTimeoutMs = 1000;
    auto runtime = std::make_unique<AudioRuntime>(options);
    runtime->start();
    ASSERT_EQ(runtime->audioOk(), 1) << runtime->engine()->lastErrorText();
    ASSERT_TRUE(eventually([&] { return runtime->engine()->hasFirstCallback(); }, 20000));

    server.kill();
    // Detection, an attempt that finds PortAudio not answering, and the end
    // of the episode: the program keeps running without audio.
    const bool gaveUp = eventually(
        [&] {
            runtime->checkStreams();
            return contains(readFile(dir.file("watchdog.log")), "GAVE UP: Audio system not responding");
        },
        60000);
    const std::string log = readFile(dir.file("watchdog.log"));
    EXPECT_TRUE(gaveUp) << log;
    EXPECT_TRUE(contains(log, "Stream stale detected, entering recovery mode")) << log;
    EXPECT_TRUE(contains(log, "RECOVERY attempt 1/30")) << log;
    EXPECT_FALSE(contains(log, "RECOVERED successfully")) << log;
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_EQ(gAudioReady.load(), 0);
    // Later checks start nothing.
    runtime->checkStreams();
    EXPECT_FALSE(runtime->isWorkerBusy());

    runtime->stopAcceptingWork();
    ASSERT_TRUE(runtime->waitIdle(10000));
    runtime->closeAll();
    runtime.reset();
}

TEST(AudioRuntimeJack, ALatencyRequestMeasuresTheWireAndBringsTheShakersBack) {
    OutputCapture quiet([](OutputStream, std::string_view) {});
    JackServer server;
    JackServer::Options serverOptions;
    serverOptions.loopbackPorts = 2;
    ASSERT_TRUE(server.start(serverOptions)) << server.lastError();
    ASSERT_TRUE(eventually([&] { return server.ports("^loopback:").size() == 4; })) << server.log();

    TempDir dir;
    WatchdogLog watchdog;
    ASSERT_TRUE(watchdog.open(dir.file("watchdog.log")));
    LiveSettings settings;
    useJackDevice(settings, "loopback", 2);
    AudioRuntime::Options options;
    options.watchdog = &watchdog;
    options.settings = &settings;
    AudioRuntime runtime(options);
    runtime.start();
    ASSERT_EQ(runtime.audioOk(), 1) << runtime.engine()->lastErrorText();

    gLatencyTestResultMs = -1.0f;
    gLatencyInputDevice = -1;  // the engine finds the wire's inputs
    gLatencyTestRequest = 1;
    // The run loop serves the request in every pass, connected or not.
    ASSERT_TRUE(eventually(
        [&] {
            runtime.serviceLatencyRequest();
            return gLatencyTestRequest.load() == 0;
        },
        30000));
    ASSERT_TRUE(eventually([&] { return !runtime.isWorkerBusy(); }, 30000));
    const float oneWay = gLatencyTestResultMs.load();
    EXPECT_GT(oneWay, 0.0f);
    EXPECT_LT(oneWay, 20.0f);
    // The shakers' stream is back and calls back.
    EXPECT_EQ(runtime.audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_TRUE(eventually([&] { return runtime.engine()->hasFirstCallback(); }, 10000));

    runtime.stopAcceptingWork();
    ASSERT_TRUE(runtime.waitIdle(10000));
    runtime.closeAll();
}

}  // namespace
}  // namespace qv::test
