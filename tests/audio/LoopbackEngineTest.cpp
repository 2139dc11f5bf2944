// The loopback latency test of the audio engine on a fake PortAudio: a
// simulated cable driven by the engine's own waiting (each 10 ms sleep of the
// test clock delivers one device block), the input-device choice, the
// channel fallback and every failure path.

#include "audio/AudioEngine.h"
#include "support/CapturedOutput.h"
#include "support/FakePortAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace qv::test {
namespace {

// A manual clock whose sleeps also run the device: the engine's wait loop
// sleeps 10 ms at a time, and each sleep delivers one block.
class DrivingClock : public ManualClock {
public:
    void sleepNs(uint64_t ns) override {
        ManualClock::sleepNs(ns);
        if (onSleep)
            onSleep();
    }
    std::function<void()> onSleep;
};

FakeDevice device(const std::string& name, int type, int outputs, int inputs) {
    FakeDevice d;
    d.name = name;
    d.hostApiType = type;
    d.maxOutputChannels = outputs;
    d.maxInputChannels = inputs;
    return d;
}

class LoopbackEngineTest : public ::testing::Test {
protected:
    LoopbackEngineTest() {
        FakeDevice out = device("Studio Box Out 1-2", paALSA, 8, 0);
        out.defaultLowOutputLatency = 0.004;
        portAudio.addDevice(out);                                      // 0
        portAudio.addDevice(device("Webcam Audio", paALSA, 0, 1));     // 1
        FakeDevice in = device("Studio Box In 1-2", paALSA, 0, 2);
        in.defaultLowInputLatency = 0.006;
        portAudio.addDevice(in);                                       // 2
        portAudio.addDevice(device("Speakers", paALSA, 2, 0));         // 3
        portAudio.addDevice(device("HDMI", paOSS, 2, 0));              // 4
        FakeDevice stereoOnly = device("Duplex Card", paALSA, 4, 4);
        stereoOnly.duplexNeedsTwoChannels = true;
        portAudio.addDevice(stereoOnly);                               // 5
        FakeDevice failing = device("Failing Card", paALSA, 2, 2);
        failing.duplexOpenError = paDeviceUnavailable;
        portAudio.addDevice(failing);                                  // 6
        FakeDevice unstartable = device("Unstartable Card", paALSA, 2, 2);
        unstartable.duplexStartError = paUnanticipatedHostError;
        portAudio.addDevice(unstartable);                              // 7
        FakeDevice mono = device("Mono Duplex", paALSA, 1, 1);
        mono.duplexNeedsTwoChannels = true;
        portAudio.addDevice(mono);                                     // 8
        clock.onSleep = [this] { deliverBlock(); };
    }

    AudioEngine& engine() {
        if (!m_engine)
            m_engine = std::make_unique<AudioEngine>(AudioEngine::Services{&portAudio, &registry, &clock, 5000});
        return *m_engine;
    }

    // Opens the shakers' stream on outputDevice, as initAudio would.
    void openOutput(int outputDevice) {
        ASSERT_TRUE(engine().openDevice(outputDevice, 2, 48000.0, 256, "")) << engine().lastErrorText();
        ASSERT_TRUE(engine().startAll());
        shakerStream = portAudio.streamCount() - 1;
    }

    // One block of the duplex stream, if one runs: the cable returns output
    // channel 0 `cableDelay` frames later on input channel 0.
    void deliverBlock() {
        const int index = portAudio.streamCount() - 1;
        if (index < 0)
            return;
        const FakeStream s = portAudio.stream(index);
        if (s.inputDevice < 0 || !s.started || s.closed || completed)
            return;
        const unsigned long frames = s.frames;
        std::vector<float> input(frames * static_cast<unsigned long>(s.inputChannels), 0.0f);
        for (unsigned long i = 0; i < frames; ++i) {
            const long source = static_cast<long>(played.size() + i) - cableDelay;
            if (cableDelay >= 0 && source >= 0 && source < static_cast<long>(played.size()))
                input[i * static_cast<unsigned long>(s.inputChannels)] = played[static_cast<size_t>(source)];
        }
        std::vector<float> output;
        completed = portAudio.callBackDuplex(index, frames, input, output) == paComplete;
        for (unsigned long i = 0; i < frames; ++i) {
            played.push_back(output[i * static_cast<unsigned long>(s.channels)]);
            for (int c = 1; c < s.channels; ++c)
                otherChannelsSilent &= output[i * static_cast<unsigned long>(s.channels) + c] == 0.0f;
        }
    }

    // The calls for duplex streams (the test's), starting with prefix.
    std::vector<std::string> duplexCalls(const std::string& prefix) {
        std::vector<std::string> result;
        for (const std::string& c : portAudio.calls())
            if (c.rfind(prefix, 0) == 0 && c.find(" in ") != std::string::npos)
                result.push_back(c);
        return result;
    }

    CapturedOutput output;
    FakePortAudio portAudio;
    FakeAsioRegistry registry;
    DrivingClock clock;
    long cableDelay = -1;  // -1: no cable
    std::vector<float> played;
    bool completed = false;
    bool otherChannelsSilent = true;
    int shakerStream = -1;
    std::unique_ptr<AudioEngine> m_engine;
};

TEST_F(LoopbackEngineTest, ACableReturningThePulse480FramesLaterMeasuresFiveMilliseconds) {
    openOutput(0);
    cableDelay = 480;
    output.clear();
    EXPECT_EQ(engine().runLoopbackTest(-1), 5.0);
    EXPECT_EQ(engine().measuredLatencyMs(), 5.0);
    EXPECT_EQ(output.out(),
              "  [Loopback Test] Output: Studio Box Out 1-2\n"
              "  [Loopback Test] Input:  Studio Box In 1-2\n"
              "  [Loopback Test] Running... (connect output -> input cable)\n"
              "  [Loopback Test] SUCCESS\n"
              "    Roundtrip  : 480 samples (10.00ms)\n"
              "    One-way    : 5.00ms (estimated output latency)\n");
    EXPECT_EQ(output.err(), "");
    // The shakers' stream was closed first; the test stream is mono at the
    // stream's rate and buffer size with the devices' low latencies.
    EXPECT_TRUE(portAudio.stream(shakerStream).closed);
    EXPECT_EQ(engine().streamCount(), 0);
    EXPECT_EQ(duplexCalls("format"), std::vector<std::string>{"format 0 1ch 48000 in 2 1ch"});
    EXPECT_EQ(duplexCalls("open"), std::vector<std::string>{"open 0 1ch 48000 256 latency=0.004000 in 2 1ch"});
    const FakeStream test = portAudio.stream(portAudio.streamCount() - 1);
    EXPECT_EQ(test.inputSuggestedLatency, 0.006);
    EXPECT_TRUE(test.closed);
    EXPECT_EQ(std::count(played.begin(), played.end(), 0.05f), 1) << "a single pulse";
}

TEST_F(LoopbackEngineTest, WithoutACableTheTestReportsNoSignalAndKeepsTheLastResult) {
    openOutput(0);
    cableDelay = 480;
    ASSERT_EQ(engine().runLoopbackTest(2), 5.0);

    openOutput(0);
    cableDelay = -1;
    played.clear();
    completed = false;
    output.clear();
    EXPECT_EQ(engine().runLoopbackTest(2), -1.0);
    EXPECT_NE(output.out().find("  [Loopback Test] No signal detected -- check cable connection\n"),
              std::string::npos);
    EXPECT_EQ(engine().measuredLatencyMs(), 5.0);
    EXPECT_EQ(engine().lastErrorText(), "");
    EXPECT_EQ(played.size(), 26624u) << "the callback ended the stream once the 500 ms window had passed";
}

TEST_F(LoopbackEngineTest, AStreamThatNeverCallsBackEndsAfterFiveSecondsOfWaiting) {
    openOutput(0);
    clock.onSleep = nullptr;  // the device delivers nothing
    const uint64_t before = clock.nowMs();
    EXPECT_EQ(engine().runLoopbackTest(2), -1.0);
    EXPECT_GT(clock.nowMs() - before, 5000u);
    EXPECT_LE(clock.nowMs() - before, 5010u);
    EXPECT_NE(output.out().find("No signal detected"), std::string::npos);
    EXPECT_TRUE(portAudio.stream(portAudio.streamCount() - 1).closed);
}

TEST_F(LoopbackEngineTest, APairThatRefusesMonoIsMeasuredInStereoWithThePulseOnChannelZero) {
    openOutput(5);
    cableDelay = 256;
    EXPECT_NEAR(engine().runLoopbackTest(5), 256.0 / 48000.0 * 500.0, 1e-9);
    EXPECT_EQ(duplexCalls("format"),
              (std::vector<std::string>{"format 5 1ch 48000 in 5 1ch", "format 5 2ch 48000 in 5 2ch"}));
    EXPECT_EQ(duplexCalls("open"), std::vector<std::string>{"open 5 2ch 48000 256 latency=0.010000 in 5 2ch"});
    EXPECT_TRUE(otherChannelsSilent);
}

TEST_F(LoopbackEngineTest, TheInputIsChosenByNameWithinTheOutputsHostApi) {
    engine();
    EXPECT_EQ(engine().findLoopbackInputDevice(0), 2) << "\"studio b\" in both names";
    EXPECT_EQ(engine().findLoopbackInputDevice(3), 1) << "no name match: the first input of the API";
    EXPECT_EQ(engine().findLoopbackInputDevice(5), 5) << "a duplex card pairs with itself";
    EXPECT_EQ(engine().findLoopbackInputDevice(4), -1) << "no input device on OSS";
    EXPECT_EQ(engine().findLoopbackInputDevice(99), -1);
    EXPECT_EQ(engine().findLoopbackInputDevice(-1), -1);
}

TEST_F(LoopbackEngineTest, ABadInputChoiceIsRefusedWhileTheShakersKeepPlaying) {
    struct Case {
        int output;
        int input;
        std::string error;
    };
    const std::vector<Case> cases = {
        {4, -1, "No matching input device found for loopback test"},
        {0, 99, "Invalid input device index: 99"},
        {0, 3, "Input device 'Speakers' has no input channels"},
    };
    for (const Case& c : cases) {
        openOutput(c.output);
        output.clear();
        EXPECT_EQ(engine().runLoopbackTest(c.input), -1.0);
        EXPECT_EQ(engine().lastErrorText(), c.error);
        EXPECT_EQ(output.err(), "  [AudioEngine] ERROR: " + c.error + "\n");
        EXPECT_EQ(engine().streamCount(), 1) << c.error;
        EXPECT_TRUE(engine().anyStreamRunning()) << c.error;
        EXPECT_FALSE(portAudio.stream(shakerStream).closed);
    }
}

TEST_F(LoopbackEngineTest, FailuresAfterTheStreamsClosedAreReportedWithTheirTexts) {
    struct Case {
        int output;
        int input;
        std::string error;
    };
    const std::vector<Case> cases = {
        {8, 8, "Loopback format not supported: Invalid number of channels"},  // refuses mono, has no stereo
        {6, 6, "Loopback Pa_OpenStream failed: Device unavailable"},
        {7, 7, "Loopback Pa_StartStream failed: Unanticipated host error"},
    };
    for (const Case& c : cases) {
        openOutput(c.output);
        EXPECT_EQ(engine().runLoopbackTest(c.input), -1.0);
        EXPECT_EQ(engine().lastErrorText(), c.error);
        EXPECT_EQ(engine().streamCount(), 0) << "the output streams were already closed";
        EXPECT_EQ(portAudio.openStreamCount(), 0) << c.error;
    }
}

TEST_F(LoopbackEngineTest, NoStreamOrNoPortAudioMeansNoTest) {
    EXPECT_EQ(engine().runLoopbackTest(2), -1.0);
    EXPECT_EQ(engine().lastErrorText(), "No output device configured");

    FakePortAudio broken;
    broken.initializeResult = paNotInitialized;
    AudioEngine down(AudioEngine::Services{&broken, &registry, &clock, 5000});
    EXPECT_EQ(down.runLoopbackTest(2), -1.0);
    EXPECT_EQ(down.lastErrorText(), "PortAudio not initialised");
}

TEST_F(LoopbackEngineTest, AStreamThatCannotBeStoppedDoesNotHangTheTest) {
    m_engine = std::make_unique<AudioEngine>(AudioEngine::Services{&portAudio, &registry, &clock, 200});
    openOutput(0);
    cableDelay = 480;
    bool armed = false;
    clock.onSleep = [&] {
        deliverBlock();
        if (completed && !armed) {
            portAudio.blockNext("stop");  // the audio server stops answering
            armed = true;
        }
    };
    EXPECT_EQ(engine().runLoopbackTest(2), -1.0);
    EXPECT_NE(engine().lastErrorText().find("Pa_StopStream has not returned"), std::string::npos)
        << engine().lastErrorText();
    ASSERT_TRUE(portAudio.waitUntilBlocked(20000));
    portAudio.release();
    ASSERT_TRUE(portAudio.waitUntilReturned(20000));
}

}  // namespace
}  // namespace qv::test
