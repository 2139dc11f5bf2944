// PortAudio calls that never return (an audio server that died or stopped):
// the engine gives up on them after its time-out, abandons their streams,
// refuses further PortAudio work until they return, keeps its device list,
// and finishes closing and destruction. Also the health getters read while
// device threads call back (run under ThreadSanitizer).

#include "audio/AudioEngine.h"
#include "support/CapturedOutput.h"
#include "support/Eventually.h"
#include "support/FakePortAudio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qv::test {
namespace {

constexpr int kTimeoutMs = 1000;
constexpr int kWaitMs = 20000;

std::string stuckText(const std::string& call) {
    return "Audio system not responding: " + call + " has not returned after 1000 ms (has the audio server "
           "stopped?)";
}

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class StreamTeardownTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Card A", "Card B"}) {
            FakeDevice d;
            d.name = name;
            portAudio.addDevice(d);
        }
        portAudio.runCallbacks = true;
    }
    void TearDown() override {
        // Nothing may stay blocked inside the fake when it goes.
        portAudio.release();
        if (portAudio.hasPendingCall()) {
            EXPECT_TRUE(portAudio.waitUntilReturned(kWaitMs));
        }
    }
    std::unique_ptr<AudioEngine> makeEngine() {
        return std::make_unique<AudioEngine>(AudioEngine::Services{&portAudio, nullptr, nullptr, kTimeoutMs});
    }
    PhysicalDevice physical(const std::string& name, int paIndex) {
        PhysicalDevice d;
        d.hardwareName = name;
        DeviceInfo v;
        v.paIndex = paIndex;
        v.hostApiName = "ALSA";
        v.hostApiType = paALSA;
        d.apis.push_back(v);
        d.enabled = true;
        return d;
    }

    CapturedOutput output;
    FakePortAudio portAudio;
    std::atomic<long> rendered{0};
};

TEST_F(StreamTeardownTest, StopThatNeverReturnsAbandonsTheStreamAndFreezesPortAudioUntilItReturns) {
    auto engine = makeEngine();
    const std::vector<PhysicalDevice> before = engine->devices();
    engine->setRenderCallback([this](int32_t, AudioBuffer&) { ++rendered; });
    ASSERT_TRUE(engine->openDevice(0, 0, 48000.0, 256, ""));
    ASSERT_TRUE(engine->startAll());
    ASSERT_TRUE(eventually([&] { return rendered.load() > 5; }));

    portAudio.blockNext("stop");
    engine->closeAll();
    ASSERT_TRUE(portAudio.waitUntilBlocked(kWaitMs));
    EXPECT_EQ(engine->streamCount(), 0);
    EXPECT_FALSE(engine->anyStreamRunning());
    EXPECT_TRUE(engine->isAudioSystemStuck());
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_StopStream"));
    EXPECT_NE(output.out().find("  [AudioEngine] Stream 0 abandoned (it could not be closed)\n"), std::string::npos);

    // The detached stream no longer reaches the engine's render callable.
    const long renderedAtClose = rendered.load();
    const long deviceCallbacks = portAudio.deviceCallbacks();
    EXPECT_TRUE(eventually([&] { return portAudio.deviceCallbacks() == deviceCallbacks; }));
    EXPECT_EQ(rendered.load(), renderedAtClose);

    // No PortAudio work while the call hangs: the old list, refusals, one message.
    portAudio.clearCalls();
    output.clear();
    const std::vector<PhysicalDevice> after = engine->reinitialise();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].hardwareName, "Card A");
    EXPECT_EQ(engine->devices().size(), before.size());
    EXPECT_FALSE(engine->openDevice(0, 0, 48000.0, 256, ""));
    EXPECT_FALSE(engine->openMultiDevice({physical("Card A", 0)}, 48000.0));
    EXPECT_FALSE(engine->startAll());
    EXPECT_EQ(engine->findDeviceByName("Card"), -1);
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_StopStream"));
    EXPECT_EQ(portAudio.calls(), std::vector<std::string>{});
    EXPECT_EQ(output.err(), "");
    EXPECT_EQ(output.out(), "") << "a stuck engine prints no device table";

    // The call returns after all: PortAudio is usable again.
    portAudio.release();
    ASSERT_TRUE(eventually([&] { return !engine->isAudioSystemStuck(); }));
    EXPECT_NE(output.out().find("  [AudioEngine] Pa_StopStream returned after all; the audio system answers again\n"),
              std::string::npos);
    EXPECT_EQ(engine->reinitialise().size(), 2u);
    EXPECT_EQ(portAudio.countCalls("terminate"), 1);
    EXPECT_EQ(portAudio.countCalls("initialize"), 1);
    EXPECT_TRUE(engine->openDevice(0, 0, 48000.0, 256, ""));
}

TEST_F(StreamTeardownTest, CloseThatNeverReturnsAbandonsTheOtherStreamsUntouchedAndSkipsTerminate) {
    auto engine = makeEngine();
    engine->setRenderCallback([this](int32_t, AudioBuffer&) { ++rendered; });
    ASSERT_TRUE(engine->openMultiDevice({physical("Card A", 0), physical("Card B", 1)}, 48000.0));
    ASSERT_TRUE(engine->startAll());
    ASSERT_TRUE(eventually([&] { return rendered.load() > 10; }));

    portAudio.blockNext("close");
    portAudio.clearCalls();
    engine->closeAll();
    EXPECT_EQ(portAudio.calls(), (std::vector<std::string>{"stop 0", "close 0"}));
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_CloseStream"));
    EXPECT_EQ(count(output.out(), "abandoned (it could not be closed)"), 2);
    EXPECT_EQ(count(output.err(), "ERROR"), 1) << output.err();

    // The second stream was never stopped: detached, it finishes by itself.
    const long renderedAtClose = rendered.load();
    EXPECT_TRUE(eventually([&] {
        const long before = portAudio.deviceCallbacks();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return portAudio.deviceCallbacks() == before;
    }));
    EXPECT_EQ(rendered.load(), renderedAtClose);

    engine.reset();
    EXPECT_EQ(portAudio.countCalls("terminate"), 0) << "terminate would hang as well";
}

TEST_F(StreamTeardownTest, InitialiseThatNeverReturnsLeavesAnEngineThatCatchesUpLater) {
    portAudio.blockNext("initialize");
    auto engine = makeEngine();
    ASSERT_TRUE(portAudio.waitUntilBlocked(kWaitMs));
    EXPECT_FALSE(engine->isPortAudioInitialised());
    EXPECT_TRUE(engine->isAudioSystemStuck());
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_Initialize"));
    EXPECT_TRUE(engine->devices().empty());

    portAudio.release();
    ASSERT_TRUE(eventually([&] { return !engine->isAudioSystemStuck(); }));
    EXPECT_TRUE(engine->isPortAudioInitialised()) << "the late result counts";
    EXPECT_EQ(engine->devices().size(), 2u);
}

TEST_F(StreamTeardownTest, OpenOrStartThatNeverReturnsFailsAndAbandonsTheStream) {
    auto engine = makeEngine();
    portAudio.blockNext("open");
    EXPECT_FALSE(engine->openDevice(0, 0, 48000.0, 256, ""));
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_OpenStream"));
    EXPECT_EQ(engine->streamCount(), 0);
    portAudio.release();
    ASSERT_TRUE(eventually([&] { return !engine->isAudioSystemStuck(); }));

    ASSERT_TRUE(engine->openDevice(1, 0, 48000.0, 256, ""));
    portAudio.blockNext("start");
    EXPECT_FALSE(engine->startAll());
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_StartStream"));
    engine->closeAll();
    EXPECT_EQ(engine->streamCount(), 0);
    EXPECT_EQ(portAudio.countCalls("stop"), 0);
    portAudio.release();
    EXPECT_TRUE(eventually([&] { return !engine->isAudioSystemStuck(); }));
}

TEST_F(StreamTeardownTest, TerminateThatNeverReturnsKeepsTheListAndInitialisesOnceItReturned) {
    auto engine = makeEngine();
    ASSERT_EQ(engine->devices().size(), 2u);
    portAudio.blockNext("terminate");
    EXPECT_EQ(engine->reinitialise().size(), 2u);
    EXPECT_EQ(engine->lastErrorText(), stuckText("Pa_Terminate"));
    EXPECT_EQ(portAudio.countCalls("initialize"), 1) << "only the constructor's";
    portAudio.release();
    ASSERT_TRUE(eventually([&] { return !engine->isAudioSystemStuck(); }));
    portAudio.clearCalls();
    EXPECT_EQ(engine->reinitialise().size(), 2u);
    EXPECT_EQ(portAudio.calls(), (std::vector<std::string>{"initialize"}));
}

TEST_F(StreamTeardownTest, HealthGettersReadWhileDeviceThreadsCallBack) {
    auto engine = makeEngine();
    engine->setRenderCallback([this](int32_t streamIndex, AudioBuffer& buffer) {
        rendered += streamIndex + 1;
        buffer.samples[0][0] = 0.5f;
    });
    ASSERT_TRUE(engine->openMultiDevice({physical("Card A", 0), physical("Card B", 1)}, 48000.0));
    ASSERT_TRUE(engine->startAll());
    long polls = 0;
    bool sawBoth = false;
    while (polls < 20000 && !(sawBoth && polls > 2000)) {
        ++polls;
        EXPECT_TRUE(engine->anyStreamRunning());
        EXPECT_FALSE(engine->hasStaleStream(60000));
        EXPECT_GE(engine->totalXruns(), 0);
        (void)engine->hasFirstCallback();
        (void)engine->streamFrames();
        sawBoth = engine->stream(0)->firstBlockFrames.load() != 0 && engine->stream(1)->firstBlockFrames.load() != 0;
        std::this_thread::yield();
    }
    EXPECT_TRUE(eventually([&] {
        return engine->stream(0)->firstBlockFrames.load() != 0 && engine->stream(1)->firstBlockFrames.load() != 0;
    }));
    EXPECT_EQ(engine->streamFrames(), 256);
    engine->closeAll();
    EXPECT_FALSE(engine->isAudioSystemStuck());
    EXPECT_EQ(portAudio.openStreamCount(), 0);
}

}  // namespace
}  // namespace qv::test
