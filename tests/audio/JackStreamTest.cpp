// Real audio on a private JACK server with the dummy back-end: the device
// list, an 8-channel stream that runs in real time, what it plays (recorded
// with jack_capture), a paused server and a killed one.

#include "audio/AudioEngine.h"
#include "audio/HostApi.h"
#include "audio/SignalAnalysis.h"
#include "support/CapturedOutput.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"
#include "support/WavFile.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <cmath>
#include <regex>
#include <thread>

namespace qv::test {
namespace {

class JackStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.lastError(); }

    // The PortAudio index of the JACK variant of the device "system".
    static int jackSystemIndex(const std::vector<PhysicalDevice>& list) {
        for (const PhysicalDevice& device : list) {
            if (device.hardwareName != "system")
                continue;
            for (const DeviceInfo& variant : device.apis) {
                if (variant.hostApiType == paJACK)
                    return variant.paIndex;
            }
        }
        return -1;
    }

    CapturedOutput output;
    JackServer server;
};

TEST_F(JackStreamTest, ListsTheSystemDeviceWithEightOutputsUnderJack) {
    AudioEngine engine;
    ASSERT_TRUE(engine.isPortAudioInitialised()) << engine.lastErrorText();
    const std::vector<PhysicalDevice> list = engine.devices();
    const PhysicalDevice* system = nullptr;
    for (const PhysicalDevice& device : list) {
        if (device.hardwareName == "system")
            system = &device;
    }
    ASSERT_NE(system, nullptr) << output.out();
    EXPECT_EQ(system->apis.front().hostApiName, "JACK");
    EXPECT_EQ(system->apis.front().maxOutputChannels, 8);
    EXPECT_EQ(system->maxChannels, 8);
    EXPECT_TRUE(system->suitable);
    EXPECT_TRUE(std::regex_search(output.out(), std::regex(R"(\n  \d+ +system {30}JACK {16}8     yes\n)"))) << output.out();
    // The libraries' own probing messages stay off the console.
    EXPECT_EQ(output.err(), "");
}

TEST_F(JackStreamTest, EightChannelStreamFallsBackToTheServerRateAndStampsHeartbeats) {
    AudioEngine engine;
    const int index = jackSystemIndex(engine.devices());
    ASSERT_GE(index, 0);
    ASSERT_TRUE(engine.openDevice(index, 0, 44100.0, 256, "")) << engine.lastErrorText();
    EXPECT_NE(output.out().find("  [AudioEngine] Note: using 48000Hz (driver preferred rate)\n"),
              std::string::npos)
        << output.out();
    EXPECT_EQ(engine.streamChannels(), 8);
    EXPECT_EQ(engine.streamSampleRate(), 48000.0);
    EXPECT_DOUBLE_EQ(engine.streamLatencyMs(), 256.0 / 48000.0 * 1000.0);

    std::atomic<int> blocks{0};
    engine.setRenderCallback([&blocks](int32_t, AudioBuffer& buffer) {
        EXPECT_EQ(buffer.numFrames, 256);
        ++blocks;
    });
    ASSERT_TRUE(engine.startAll()) << engine.lastErrorText();
    EXPECT_TRUE(engine.anyStreamRunning());
    ASSERT_TRUE(eventually([&] { return engine.hasFirstCallback(); }));
    EXPECT_EQ(engine.streamFrames(), 256);
    const uint32_t first = engine.stream(0)->heartbeatTick.load();
    ASSERT_TRUE(eventually([&] { return engine.stream(0)->heartbeatTick.load() != first && blocks.load() > 20; }));
    EXPECT_FALSE(engine.hasStaleStream(1000));
    engine.closeAll();
    EXPECT_FALSE(engine.anyStreamRunning());
    EXPECT_EQ(engine.streamCount(), 0);
    EXPECT_FALSE(engine.isAudioSystemStuck());
}

// A sine per channel, each at its own frequency, with phases kept across blocks.
struct ChannelSines {
    static constexpr double kAmplitude = 0.5;
    static double frequency(int channel) { return 200.0 + 100.0 * channel; }
    double phase[kMaxStreamChannels] = {};

    void render(AudioBuffer& buffer) {
        for (int c = 0; c < buffer.numChannels; ++c) {
            const double step = 2.0 * M_PI * frequency(c) / buffer.sampleRate;
            for (int i = 0; i < buffer.numFrames; ++i) {
                buffer.samples[c][i] = static_cast<float>(kAmplitude * std::sin(phase[c]));
                phase[c] = std::fmod(phase[c] + step, 2.0 * M_PI);
            }
        }
    }
};

TEST_F(JackStreamTest, RecordingShowsEachChannelsSineOnItsOwnPort) {
    AudioEngine engine;
    const int index = jackSystemIndex(engine.devices());
    ASSERT_GE(index, 0);
    ASSERT_TRUE(engine.openDevice(index, 8, 48000.0, 256, "")) << engine.lastErrorText();
    ChannelSines sines;
    engine.setRenderCallback([&sines](int32_t, AudioBuffer& buffer) { sines.render(buffer); });
    ASSERT_TRUE(engine.startAll());

    std::vector<std::string> ports;
    for (int c = 1; c <= 8; ++c)
        ports.push_back("system:playback_" + std::to_string(c));
    TempDir dir;
    std::string error;
    ASSERT_TRUE(jackCapture(server, ports, 2, dir.file("capture.wav"), &error)) << error;
    engine.closeAll();

    WavData wav;
    ASSERT_TRUE(readWav(dir.file("capture.wav"), wav, &error)) << error;
    ASSERT_EQ(wav.channels.size(), 8u);
    ASSERT_EQ(wav.sampleRate, 48000);
    ASSERT_GE(wav.frames(), 72000u);
    // The server runs without realtime priority on a machine that may be
    // busy, so a block can drop out or repeat now and then. Judge 10 ms
    // windows (each a whole number of periods of every sine): a clean window
    // has every channel's own sine at full level and no other channel's.
    // Wrong routing, levels or interleaving leave no clean window at all.
    const size_t window = 480;
    int cleanWindows = 0, windows = 0;
    for (size_t begin = 0; begin + window <= wav.frames(); begin += window) {
        ++windows;
        bool clean = true;
        for (int c = 0; c < 8 && clean; ++c) {
            const std::vector<float>& samples = wav.channels[static_cast<size_t>(c)];
            for (int k = 0; k < 8 && clean; ++k) {
                const double level = toneAmplitude(samples, ChannelSines::frequency(k), 48000.0, begin, begin + window);
                clean = k == c ? std::fabs(level - ChannelSines::kAmplitude) < 0.02 : level < 0.01;
            }
        }
        cleanWindows += clean;
    }
    EXPECT_GE(cleanWindows, windows / 4) << cleanWindows << " of " << windows << " windows are clean";
}

TEST_F(JackStreamTest, PausedServerMakesTheStreamStaleUntilItResumes) {
    AudioEngine engine;
    const int index = jackSystemIndex(engine.devices());
    ASSERT_TRUE(engine.openDevice(index, 0, 48000.0, 256, ""));
    ASSERT_TRUE(engine.startAll());
    ASSERT_TRUE(eventually([&] { return engine.hasFirstCallback(); }));

    server.pause();
    EXPECT_TRUE(eventually([&] { return engine.hasStaleStream(200); }));
    server.resume();
    EXPECT_TRUE(eventually([&] { return !engine.hasStaleStream(200); }));
    engine.closeAll();
    EXPECT_FALSE(engine.isAudioSystemStuck());
}

// Runs `scenario` in a death-test child and ends the child: exit 0 when every
// expectation held, else exit 1 with the failures on standard error, the
// only output of the child the test's log shows.
template <typename Scenario>
[[noreturn]] void runAndExit(Scenario&& scenario) {
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        scenario();
    }
    for (int i = 0; i < failures.size(); ++i) {
        const ::testing::TestPartResult& result = failures.GetTestPartResult(i);
        std::fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?", result.line_number(),
                     result.message());
    }
    std::fflush(nullptr);
    std::_Exit(failures.size() == 0 ? 0 : 1);
}

// Whether a death-test child ended as the teardown test accepts: every
// expectation held (exit 0), or PortAudio's JACK host aborted on its own
// assertion while cleaning up a stream of the dead server.
bool teardownEndedAcceptably(int status) {
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) || (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
}

// Runs in a child process of its own: once the server died, PortAudio's JACK
// host may abort the process on an assertion when a stream is cleaned up
// (the race between its shutdown notice and our stop decides). That is why
// the program keeps PortAudio in the audio host process, which it replaces;
// here the abort is that library's, and the child that survives it must
// show the engine's own behaviour.
// The teardown test's server runs in its death-test child alone: forked
// (not started anew), the child shares the server's name with this process,
// which cleans up after it however the child ended.
class JackTeardownTest : public JackStreamTest {
protected:
    void SetUp() override {}
    void TearDown() override { server.killedElsewhere(); }
};

TEST_F(JackTeardownTest, TeardownAfterTheServerDiedFinishesAndSaysTheServerStopped) {
    const auto scenario = [&] {
        ASSERT_TRUE(server.start()) << server.lastError();
        AudioEngine::Services services;
        services.callTimeoutMs = 1000;
        auto engine = std::make_unique<AudioEngine>(services);
        const std::vector<PhysicalDevice> before = engine->devices();
        const int index = jackSystemIndex(before);
        ASSERT_TRUE(engine->openDevice(index, 0, 48000.0, 256, ""));
        ASSERT_TRUE(engine->startAll());
        ASSERT_TRUE(eventually([&] { return engine->hasFirstCallback(); }));

        server.kill();
        engine->closeAll();  // PortAudio's stop never returns: the stream is abandoned
        EXPECT_EQ(engine->streamCount(), 0);
        EXPECT_FALSE(engine->anyStreamRunning());
        ASSERT_TRUE(engine->isAudioSystemStuck());
        EXPECT_NE(engine->lastErrorText().find("has the audio server stopped?"), std::string::npos)
            << engine->lastErrorText();
        EXPECT_NE(output.out().find("  [AudioEngine] Stream 0 abandoned"), std::string::npos);

        // Re-enumeration keeps the list it had; opening is refused without a new message.
        const std::string errorsSoFar = output.err();
        const std::vector<PhysicalDevice> after = engine->reinitialise();
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(jackSystemIndex(after), index);
        EXPECT_FALSE(engine->openDevice(index, 0, 48000.0, 256, ""));
        EXPECT_EQ(output.err(), errorsSoFar);
        engine.reset();  // no terminate: it would hang as well
    };
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        runAndExit(scenario),
        teardownEndedAcceptably, "");
}

}  // namespace
}  // namespace qv::test
