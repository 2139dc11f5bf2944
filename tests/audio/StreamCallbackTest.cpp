// The stream callback called directly, as PortAudio's audio thread would:
// rendering and interleaving, oversize blocks, silent extra channels, sample
// limits, xruns, the first block, heartbeats and the stale test with a
// manual clock (wrap-around included), and no allocation on the way.

#include "audio/AudioEngine.h"
#include "audio/AllocationCounter.h"
#include "support/CapturedOutput.h"
#include "support/FakePortAudio.h"

#include <gtest/gtest.h>

#include <functional>

#include <cmath>
#include <limits>

namespace qv::test {
namespace {

constexpr uint64_t kMsNs = 1000000ull;

class StreamCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        slot->owner.store(&engine);
        slot->deviceChannels = 4;
        slot->activeChannels = 4;
        slot->streamIndex = 2;
        slot->clock = &clock;
    }
    int call(unsigned long frames, PaStreamCallbackFlags flags = 0) {
        out.assign(frames * static_cast<unsigned long>(slot->deviceChannels), 7.0f);
        return streamCallback(nullptr, out.data(), frames, nullptr, flags, slot.get());
    }
    float sample(unsigned long frame, int channel) const {
        return out[frame * static_cast<unsigned long>(slot->deviceChannels) + static_cast<unsigned long>(channel)];
    }

    CapturedOutput output;
    FakePortAudio portAudio;
    ManualClock clock;
    AudioEngine engine{{&portAudio, nullptr, &clock, 5000}};
    std::unique_ptr<StreamSlot> slot = std::make_unique<StreamSlot>();
    std::vector<float> out;
};

TEST_F(StreamCallbackTest, RendersIntoClearedPlanesAndInterleavesEveryChannel) {
    for (auto& plane : slot->buffer.samples)
        for (float& v : plane)
            v = 9.0f;
    int calls = 0;
    engine.setRenderCallback([&](int32_t streamIndex, AudioBuffer& buffer) {
        ++calls;
        EXPECT_EQ(streamIndex, 2);
        EXPECT_EQ(buffer.numFrames, 300);
        for (const auto& plane : buffer.samples)
            for (int i = 0; i < buffer.numFrames; ++i)
                ASSERT_EQ(plane[i], 0.0f) << "planes are cleared before rendering";
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < buffer.numFrames; ++i)
                buffer.samples[c][i] = 0.1f * static_cast<float>(c + 1) - 0.001f * static_cast<float>(i % 100);
    });
    EXPECT_EQ(call(300), paContinue);
    EXPECT_EQ(calls, 1);
    for (unsigned long i = 0; i < 300; ++i)
        for (int c = 0; c < 4; ++c)
            ASSERT_FLOAT_EQ(sample(i, c), 0.1f * static_cast<float>(c + 1) - 0.001f * static_cast<float>(i % 100));
}

TEST_F(StreamCallbackTest, OversizeBlocksRender4096FramesAndZeroTheRest) {
    engine.setRenderCallback([](int32_t, AudioBuffer& buffer) {
        EXPECT_EQ(buffer.numFrames, kMaxBlockFrames);
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < buffer.numFrames; ++i)
                buffer.samples[c][i] = 0.5f;
    });
    EXPECT_EQ(call(5000), paContinue);
    for (unsigned long i = 0; i < 5000; ++i)
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(sample(i, c), i < 4096 ? 0.5f : 0.0f) << "frame " << i;
    EXPECT_EQ(slot->firstBlockFrames.load(), 4096);
}

TEST_F(StreamCallbackTest, DeviceChannelsBeyondTheActiveOnesAreSilent) {
    slot->deviceChannels = 6;
    slot->activeChannels = 2;
    engine.setRenderCallback([](int32_t, AudioBuffer& buffer) {
        for (auto& plane : buffer.samples)
            for (int i = 0; i < buffer.numFrames; ++i)
                plane[i] = 0.25f;
    });
    call(64);
    for (unsigned long i = 0; i < 64; ++i)
        for (int c = 0; c < 6; ++c)
            ASSERT_EQ(sample(i, c), c < 2 ? 0.25f : 0.0f);
}

TEST_F(StreamCallbackTest, DeviceNeverGetsNaNOrValuesBeyondFullScale) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {std::nanf(""), inf, -inf, 1.5f, -2.0f, 0.25f, -1.0f, 1.0f};
    const float expected[] = {0.0f, 1.0f, -1.0f, 1.0f, -1.0f, 0.25f, -1.0f, 1.0f};
    engine.setRenderCallback([&](int32_t, AudioBuffer& buffer) {
        for (int i = 0; i < 8; ++i)
            buffer.samples[0][i] = values[i];
    });
    call(8);
    for (unsigned long i = 0; i < 8; ++i)
        EXPECT_EQ(sample(i, 0), expected[i]) << i;
}

TEST_F(StreamCallbackTest, FirstBlockSetsTheFrameCountOnce) {
    EXPECT_EQ(slot->firstBlockFrames.load(), 0);
    call(192);
    EXPECT_EQ(slot->firstBlockFrames.load(), 192);
    EXPECT_EQ(slot->framesPerBuffer.load(), 192);
    call(256);
    EXPECT_EQ(slot->firstBlockFrames.load(), 192);
    EXPECT_EQ(slot->framesPerBuffer.load(), 192);
    EXPECT_EQ(slot->buffer.numFrames, 256);
}

TEST_F(StreamCallbackTest, UnderflowAndOverflowCountOneXrunPerCallback) {
    call(64, paOutputUnderflow);
    EXPECT_EQ(slot->xrunCount.load(), 1);
    call(64, paOutputOverflow);
    call(64, paOutputUnderflow | paOutputOverflow);
    EXPECT_EQ(slot->xrunCount.load(), 3);
    call(64, paPrimingOutput | paInputOverflow);
    call(64);
    EXPECT_EQ(slot->xrunCount.load(), 3);
}

TEST_F(StreamCallbackTest, HeartbeatIsTheTickOfTheLastCallbackAndNeverZero) {
    call(64);
    EXPECT_EQ(slot->heartbeatTick.load(), clock.tickMs32());
    clock.advanceMs(5);
    call(64);
    EXPECT_EQ(slot->heartbeatTick.load(), clock.tickMs32());

    ManualClock atWrap((1ull << 32) * kMsNs);
    ASSERT_EQ(atWrap.tickMs32(), 0u);
    slot->clock = &atWrap;
    call(64);
    EXPECT_EQ(slot->heartbeatTick.load(), 1u) << "0 means no heartbeat yet";
}

TEST_F(StreamCallbackTest, TheCallbackWritesItsHealthWhereItIsPublishedAndASilentBlockIsZeros) {
    StreamHealth published;
    slot->published.store(&published);
    bool silent = true;
    engine.setRenderCallback([&](int32_t, AudioBuffer& buffer) {
        buffer.samples[0][0] = 0.5f;  // not to be played when the render says it played nothing
        buffer.silent = silent;
    });
    call(128, paOutputUnderflow);
    EXPECT_EQ(published.firstBlockFrames.load(), 128);
    EXPECT_EQ(published.xrunCount.load(), 1);
    EXPECT_EQ(published.heartbeatTick.load(), clock.tickMs32());
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    clock.advanceMs(7);
    silent = false;
    call(128);
    EXPECT_EQ(published.heartbeatTick.load(), clock.tickMs32());
    EXPECT_EQ(published.firstBlockFrames.load(), 128);
    EXPECT_EQ(sample(0, 0), 0.5f);
}

TEST_F(StreamCallbackTest, WithoutRenderCallableTheBlockIsSilentAndTheHeartbeatGoesOn) {
    EXPECT_EQ(call(64), paContinue);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    EXPECT_NE(slot->heartbeatTick.load(), 0u);
}

TEST_F(StreamCallbackTest, DetachedSlotPlaysSilenceAndAsksToFinish) {
    bool rendered = false;
    engine.setRenderCallback([&](int32_t, AudioBuffer&) { rendered = true; });
    slot->owner.store(nullptr);
    EXPECT_EQ(call(64, paOutputUnderflow), paComplete);
    EXPECT_FALSE(rendered);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(slot->heartbeatTick.load(), 0u);
    EXPECT_EQ(slot->inCallback.load(), 0);
}

TEST_F(StreamCallbackTest, CallbackAllocatesNothing) {
    float level = 0.0f;
    engine.setRenderCallback([&level](int32_t, AudioBuffer& buffer) {
        level += 0.01f;
        for (int i = 0; i < buffer.numFrames; ++i)
            buffer.samples[0][i] = level;
    });
    out.assign(5000 * 4, 0.0f);
    const uint64_t before = realtimeAllocations();
    for (unsigned long frames : {64ul, 256ul, 5000ul})
        streamCallback(nullptr, out.data(), frames, nullptr, paOutputUnderflow, slot.get());
    EXPECT_EQ(realtimeAllocations(), before);

    // The callback is fenced as real-time code: an allocating render is caught.
    engine.setRenderCallback([](int32_t, AudioBuffer& buffer) {
        allocateOnce();
        buffer.samples[0][0] = 0.0f;
    });
    streamCallback(nullptr, out.data(), 64, nullptr, 0, slot.get());
    EXPECT_EQ(realtimeAllocations(), before + 1);
}

// --- The stale test on the engine's streams ----------------------------------

class StaleStreamTest : public ::testing::Test {
protected:
    void open(AudioEngine& engine) {
        ASSERT_TRUE(engine.openDevice(0, 0, 48000.0, 256, ""));
        ASSERT_TRUE(engine.startAll());
    }
    void SetUp() override {
        FakeDevice card;
        card.name = "Card";
        portAudio.addDevice(card);
    }
    void beat() {
        std::vector<float> out;
        portAudio.callBack(portAudio.streamCount() - 1, 256, 0, out);
    }

    CapturedOutput output;
    FakePortAudio portAudio;
};

TEST_F(StaleStreamTest, ARunningStreamIsStaleOnlyAfterTheThresholdPassed) {
    ManualClock clock;
    AudioEngine engine({&portAudio, nullptr, &clock, 5000});
    EXPECT_FALSE(engine.hasStaleStream(1000)) << "no streams";
    open(engine);
    EXPECT_EQ(engine.stream(0)->heartbeatTick.load(), clock.tickMs32()) << "starting stamps a heartbeat";
    clock.advanceMs(1000);
    EXPECT_FALSE(engine.hasStaleStream(1000));
    clock.advanceMs(1);
    EXPECT_TRUE(engine.hasStaleStream(1000));
    beat();
    EXPECT_FALSE(engine.hasStaleStream(1000));
    clock.advanceMs(999);
    EXPECT_FALSE(engine.hasStaleStream(1000));
    clock.advanceMs(2);
    EXPECT_TRUE(engine.hasStaleStream(1000));
    EXPECT_FALSE(engine.hasStaleStream(5000));

    // A stream without a heartbeat yet is not stale, nor one that does not run.
    auto* slot = const_cast<StreamSlot*>(engine.stream(0));
    slot->heartbeatTick.store(0);
    clock.advanceMs(60000);
    EXPECT_FALSE(engine.hasStaleStream(1000));
    beat();
    clock.advanceMs(2000);
    slot->running.store(0);
    EXPECT_FALSE(engine.hasStaleStream(1000));
    EXPECT_FALSE(engine.anyStreamRunning());
}

// A clock that lets an audio thread run between the stale check's reading of
// the clock and its reading of a heartbeat: after each reading the time moves
// on by 1 ms and `afterReading` runs (a callback stamping a newer beat).
class InterleavingClock : public ManualClock {
public:
    uint64_t nowMs() override {
        const uint64_t now = ManualClock::nowMs();
        if (afterReading && !m_inside) {
            m_inside = true;
            advanceMs(1);
            afterReading();
            m_inside = false;
        }
        return now;
    }
    std::function<void()> afterReading;

private:
    bool m_inside = false;
};

TEST_F(StaleStreamTest, AHeartbeatStampedWhileTheCheckRunsIsNotStale) {
    InterleavingClock clock;
    AudioEngine engine({&portAudio, nullptr, &clock, 5000});
    open(engine);
    clock.afterReading = [this] { beat(); };
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(engine.hasStaleStream(1000)) << "a beat newer than the clock reading is not 49 days old";
    clock.afterReading = nullptr;
    clock.advanceMs(1001);
    EXPECT_TRUE(engine.hasStaleStream(1000));
}

TEST_F(StaleStreamTest, TheTickCountWrappingAroundDoesNotMakeStreamsStale) {
    ManualClock clock(((1ull << 32) - 500) * kMsNs);
    AudioEngine engine({&portAudio, nullptr, &clock, 5000});
    open(engine);
    const uint32_t started = engine.stream(0)->heartbeatTick.load();
    EXPECT_EQ(started, 0xFFFFFFFFu - 499);
    clock.advanceMs(999);
    ASSERT_LT(clock.tickMs32(), started) << "the tick count wrapped";
    EXPECT_FALSE(engine.hasStaleStream(1000));
    clock.advanceMs(2);
    EXPECT_TRUE(engine.hasStaleStream(1000));
    beat();
    EXPECT_FALSE(engine.hasStaleStream(1000));
}

}  // namespace
}  // namespace qv::test
