// The loopback measurement's callback on synthetic buffers (a simulated
// cable that returns what was played some frames later), and the choice of
// the input device.

#include "audio/LoopbackMeasurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace qv::test {
namespace {

// Runs the callback block by block like a duplex device. The cable returns
// output channel 0, scaled by gain, `delay` frames later on input channel
// inputChannel; crosstalk adds the output of the same frame as well.
struct SimulatedDevice {
    int blockFrames = 256;
    int inChannels = 1;
    int outChannels = 1;
    int inputChannel = 0;
    long delay = -1;  // -1: no cable
    float gain = 1.0f;
    float crosstalk = 0.0f;

    std::vector<float> played;  // output channel 0, every frame so far
    std::vector<float> lastOutput;

    // Calls the callback until it completes or maxFrames have passed;
    // returns the number of blocks run.
    int run(LoopbackState& state, long maxFrames) {
        int blocks = 0;
        for (long done = 0; done < maxFrames; done += blockFrames) {
            std::vector<float> in(static_cast<size_t>(blockFrames * inChannels), 0.0f);
            for (int i = 0; i < blockFrames; ++i) {
                const long frame = static_cast<long>(played.size()) + i;
                const long source = frame - delay;
                if (delay >= 0 && source >= 0 && source < static_cast<long>(played.size()))
                    in[static_cast<size_t>(i * inChannels + inputChannel)] = gain * played[static_cast<size_t>(source)];
            }
            std::vector<float> out(static_cast<size_t>(blockFrames * outChannels), 9.0f);
            // Crosstalk needs this block's output: run once to get it, add it, run again on a copy.
            int result;
            if (crosstalk != 0.0f) {
                LoopbackState probe;
                copyState(state, probe);
                std::vector<float> probeOut = out;
                loopbackInputCallback(in.data(), probeOut.data(), blockFrames, nullptr, 0, &probe);
                for (int i = 0; i < blockFrames; ++i)
                    in[static_cast<size_t>(i * inChannels + inputChannel)] +=
                        crosstalk * probeOut[static_cast<size_t>(i * outChannels)];
            }
            result = loopbackInputCallback(in.data(), out.data(), static_cast<unsigned long>(blockFrames), nullptr, 0,
                                           &state);
            for (int i = 0; i < blockFrames; ++i)
                played.push_back(out[static_cast<size_t>(i * outChannels)]);
            lastOutput = out;
            ++blocks;
            if (result == paComplete)
                break;
        }
        return blocks;
    }

    static void copyState(const LoopbackState& from, LoopbackState& to) {
        to.state.store(from.state.load());
        to.sampleCounter = from.sampleCounter;
        to.pulseDelay = from.pulseDelay;
        to.pulsePos = from.pulsePos;
        to.detectPos = from.detectPos;
        to.window = from.window;
        to.pulseAmplitude = from.pulseAmplitude;
        to.threshold = from.threshold;
        to.inputChannels = from.inputChannels;
        to.outputChannels = from.outputChannels;
    }
};

TEST(LoopbackCallbackTest, ASinglePulseLeavesAt50MillisecondsOnChannelZeroOnly) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 2, 2);
    EXPECT_EQ(state.pulseDelay, 2400);
    EXPECT_EQ(state.window, 24000);
    SimulatedDevice device;
    device.outChannels = 2;
    device.inChannels = 2;
    device.run(state, 4096);
    ASSERT_EQ(state.state.load(), kLoopbackPulseSent);
    EXPECT_EQ(state.pulsePos, 2400);
    for (size_t f = 0; f < device.played.size(); ++f)
        EXPECT_EQ(device.played[f], f == 2400 ? 0.05f : 0.0f) << f;
    // Channel 1 of the block that carried the pulse (frames 2304..2559) is silent.
    SimulatedDevice again;
    again.outChannels = 2;
    LoopbackState fresh;
    resetLoopbackState(fresh, 48000.0, 1, 2);
    again.run(fresh, 2560);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(again.lastOutput[static_cast<size_t>(2 * i + 1)], 0.0f);
        EXPECT_EQ(again.lastOutput[static_cast<size_t>(2 * i)], i == 96 ? 0.05f : 0.0f) << "pulse mid-block";
    }
}

TEST(LoopbackCallbackTest, AReturnedPulseGivesTheRoundTripInFrames) {
    // A real cable returns a block later at the earliest: the pulse (frame 2400,
    // inside frames 2304..2559) comes back from frame 2560 on.
    for (long delay : {160L, 480L, 2000L, 24000L}) {
        LoopbackState state;
        resetLoopbackState(state, 48000.0, 1, 1);
        SimulatedDevice device;
        device.delay = delay;
        device.run(state, 48000);
        ASSERT_EQ(state.state.load(), kLoopbackDetected) << delay;
        EXPECT_EQ(state.detectPos - state.pulsePos, delay);
        // The stream completes with the block of the detection.
        EXPECT_LT(static_cast<long>(device.played.size()), 2400 + delay + 256 + 1);
    }
}

TEST(LoopbackCallbackTest, AnInvertedCableCountsAndAWeakOneDoesNot) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 1, 1);
    SimulatedDevice inverted;
    inverted.delay = 480;
    inverted.gain = -0.2f;  // -0.01: beyond the threshold
    inverted.run(state, 48000);
    EXPECT_EQ(state.state.load(), kLoopbackDetected);
    EXPECT_EQ(state.detectPos - state.pulsePos, 480);

    LoopbackState weak;
    resetLoopbackState(weak, 48000.0, 1, 1);
    SimulatedDevice quiet;
    quiet.delay = 480;
    quiet.gain = 0.09f;  // 0.0045: below the threshold
    quiet.run(weak, 48000);
    EXPECT_EQ(weak.state.load(), kLoopbackTimedOut);
}

TEST(LoopbackCallbackTest, SilenceEndsTheTestOnceTheWindowHasPassed) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 1, 1);
    SimulatedDevice device;  // no cable
    device.run(state, 96000);
    EXPECT_EQ(state.state.load(), kLoopbackTimedOut);
    // The first frame after pulse + window is in the last block.
    const long frames = static_cast<long>(device.played.size());
    EXPECT_GT(frames, 2400 + 24000);
    EXPECT_LE(frames, 2400 + 24000 + 256 + 1);
    // Nothing after the time-out plays a second pulse.
    EXPECT_EQ(std::count(device.played.begin(), device.played.end(), 0.05f), 1);
}

TEST(LoopbackCallbackTest, APulseSeenInItsOwnFrameIsCrosstalkNotARoundTrip) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 1, 1);
    SimulatedDevice device;
    device.crosstalk = 1.0f;  // the input shows the pulse in the frame it is played
    device.delay = 240;       // and the cable brings it back 5 ms later
    device.run(state, 48000);
    ASSERT_EQ(state.state.load(), kLoopbackDetected);
    EXPECT_EQ(state.detectPos - state.pulsePos, 240);
}

TEST(LoopbackCallbackTest, OnlyInputChannelZeroIsWatchedAcrossTheInputStride) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 2, 1);
    SimulatedDevice wrongChannel;
    wrongChannel.inChannels = 2;
    wrongChannel.inputChannel = 1;
    wrongChannel.delay = 480;
    wrongChannel.run(state, 48000);
    EXPECT_EQ(state.state.load(), kLoopbackTimedOut);

    LoopbackState right;
    resetLoopbackState(right, 48000.0, 2, 1);
    SimulatedDevice channelZero;
    channelZero.inChannels = 2;
    channelZero.delay = 480;
    channelZero.blockFrames = 100;  // the pulse lands mid-block, blocks straddle the window
    channelZero.run(right, 48000);
    EXPECT_EQ(right.state.load(), kLoopbackDetected);
    EXPECT_EQ(right.detectPos - right.pulsePos, 480);
}

TEST(LoopbackCallbackTest, WithoutAnInputBufferNothingIsDetected) {
    LoopbackState state;
    resetLoopbackState(state, 8000.0, 1, 1);  // pulse at 400, window 4000
    std::vector<float> out(256);
    int result = paContinue;
    int blocks = 0;
    while (result == paContinue && blocks < 100) {
        result = loopbackInputCallback(nullptr, out.data(), 256, nullptr, 0, &state);
        ++blocks;
    }
    EXPECT_EQ(state.state.load(), kLoopbackTimedOut);
    EXPECT_EQ(blocks, 18);  // frame 4401 is in block 18
}

TEST(LoopbackCallbackTest, TheWaitersTimeOutNeverOverwritesADetection) {
    LoopbackState state;
    resetLoopbackState(state, 48000.0, 1, 1);
    EXPECT_EQ(timeOutLoopback(state), kLoopbackTimedOut) << "no pulse sent yet";

    resetLoopbackState(state, 48000.0, 1, 1);
    SimulatedDevice device;
    device.delay = 480;
    device.run(state, 48000);
    ASSERT_EQ(state.state.load(), kLoopbackDetected);
    EXPECT_EQ(timeOutLoopback(state), kLoopbackDetected);

    // And a time-out wins over a pulse that returns after it.
    LoopbackState late;
    resetLoopbackState(late, 48000.0, 1, 1);
    SimulatedDevice slow;
    slow.delay = 480;
    slow.run(late, 2560);  // pulse sent, not back yet
    ASSERT_EQ(late.state.load(), kLoopbackPulseSent);
    EXPECT_EQ(timeOutLoopback(late), kLoopbackTimedOut);
    slow.run(late, 4096);
    EXPECT_EQ(late.state.load(), kLoopbackTimedOut);
}

TEST(LoopbackInputChoiceTest, PrefersTheSameInterfaceByNameWithinTheHostApi) {
    const std::vector<LoopbackInputCandidate> devices = {
        {"Studio Box Out 1-2", 1, 0},       // the output itself: no inputs
        {"Desk Mic", 2, 2},                 // another host API
        {"Webcam Audio", 1, 1},             // first candidate of the API
        {"STUDIO BOX In 1-2", 1, 2},        // shares "studio b"
        {"Realtek HD Audio Input", 1, 2},
    };
    EXPECT_EQ(chooseLoopbackInput("Studio Box Out 1-2", 1, devices), 3);
    EXPECT_EQ(chooseLoopbackInput("Speakers (Realtek HD)", 1, devices), 4);
    EXPECT_EQ(chooseLoopbackInput("Other Card", 1, devices), 2) << "no name match: the first candidate";
    EXPECT_EQ(chooseLoopbackInput("Short", 1, devices), 2) << "a name under 8 characters matches nothing";
    EXPECT_EQ(chooseLoopbackInput("Desk Speakers", 2, devices), 1);
    EXPECT_EQ(chooseLoopbackInput("Studio Box Out 1-2", 7, devices), -1) << "no input on that host API";
    EXPECT_EQ(chooseLoopbackInput("system", 1, {{"system", 1, 8}}), 0) << "a duplex device pairs with itself";
}

}  // namespace
}  // namespace qv::test
