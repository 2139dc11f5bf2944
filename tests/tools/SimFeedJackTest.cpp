// Through audio: qv-simfeed plays a steady cruise of ACC, AC, AC EVO or Le
// Mans Ultimate, quorvane plays into a private JACK server's "system" device
// and jack_capture records all eight outputs.
//
// The cruise (tools/simfeed/DriveScript.cpp): 30 m/s in 4th gear at 5000 rpm.
// Every corner's engine voice (synthesis weight 0.6, master gain 0.8) plays
//   ACC, AC: amplitude 5000 / 9000 x the level (0.15, 0.12) at
//            5000 / 3000 x 75 = 125 Hz;
// and, as both feeds publish a maximum of 8500 rpm, with q = 5000 / 8500:
//   AC EVO: amplitude q x 0.1 (its default level) at q x 140 + 10 = 92.35 Hz;
//   LMU:    amplitude q x 0.15 at 10 + (75 - 10) x q = 48.24 Hz.
// The four corners go to channels 1-4; channels 5-8 have no zone. When the
// feed stops, the engines stay connected to the memory it left and the stall
// rule silences the shakers.

#include "audio/SignalAnalysis.h"
#include "support/FeedOnJack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace qv::test {
namespace {

constexpr double kRate = 48000.0;
constexpr int kFeedSeconds = 6;
constexpr double kQ = 5000.0 / 8500.0;

struct Case {
    const char* feedName;
    int selectedSim;
    const char* connected;
    double engineHz;
    double engineLevel;
};

constexpr double kAcFamilyQ = 5000.0 / 9000.0;
constexpr double kAcFamilyHz = 5000.0 / 3000.0 * 75.0;

const Case kCases[] = {
    {"acc", 1, "[ACCHapticEngine] Connected to ACC shared memory", kAcFamilyHz, kAcFamilyQ * 0.15 * 0.6 * 0.8},
    {"ac", 4, "[ACHapticEngine] Connected to AC shared memory", kAcFamilyHz, kAcFamilyQ * 0.12 * 0.6 * 0.8},
    {"ac_evo", 3, "[ACEVOHapticEngine] Connected to AC EVO shared memory", kQ * 140.0 + 10.0, kQ * 0.1 * 0.6 * 0.8},
    {"lmu", 2, "[LMUHapticEngine] Connected to LMU shared memory", 10.0 + 65.0 * kQ, kQ * 0.15 * 0.6 * 0.8},
};

class SimFeedJack : public ::testing::TestWithParam<Case> {};

TEST_P(SimFeedJack, TheEngineVibratesTheFourCornersUntilTheFeedStops) {
    const Case& c = GetParam();
    JackServer server;
    JackServer::Options options;
    options.realtime = true;
    ASSERT_TRUE(server.start(options)) << server.lastError();
    FeedOnJack run;
    run.quorvanePath = QV_QUORVANE_PATH;
    run.simfeedPath = QV_SIMFEED_PATH;
    run.selectedSim = c.selectedSim;
    run.sim = c.feedName;
    run.script = "cruise";
    run.feedSeconds = kFeedSeconds;
    run.tailSeconds = 4.0;  // the engine's stall time, the dying away and a window
    run.outputs = 8;
    FeedOnJackResult result;
    std::string error;
    ASSERT_TRUE(runFeedOnJack(server, run, result, &error)) << error;
    SCOPED_TRACE(result.timing());
    EXPECT_EQ(result.feedExit, 0);
    EXPECT_EQ(result.programExit, 0);
    EXPECT_NE(result.programOutput.find(c.connected), std::string::npos) << result.programOutput;

    const WavData& wav = result.wav;
    ASSERT_EQ(wav.channels.size(), 8u);

    // Half-second windows hold many periods of either engine tone.
    const size_t window = 24000;
    std::vector<size_t> playing;
    for (size_t b = 0; b + window <= wav.frames(); b += window) {
        if (toneAmplitude(wav.channels[0], c.engineHz, kRate, b, b + window) > c.engineLevel * 0.5)
            playing.push_back(b);
    }
    ASSERT_GE(playing.size(), 4u) << "the engine was not heard for two seconds";
    // The end of sound is the last window with any engine tone: a window the
    // feed's end cuts in two is below half level, and a half-second early
    // `last` would measure the dying away from before the feed stopped.
    size_t last = playing.back() + window;
    for (size_t b = last; b + window <= wav.frames(); b += window)
        if (toneAmplitude(wav.channels[0], c.engineHz, kRate, b, b + window) > c.engineLevel * 0.02)
            last = b + window;
    for (int ch = 0; ch < 4; ++ch) {
        // Quarter-second halves of the playing windows: a short hold-up of
        // the feed spoils one half, not the measure.
        std::vector<double> levels;
        for (size_t b : playing) {
            for (size_t half : {b, b + window / 2})
                levels.push_back(
                    toneAmplitude(wav.channels[static_cast<size_t>(ch)], c.engineHz, kRate, half, half + window / 2));
        }
        // Where the program was fed: windows the loaded machine held the feed
        // back in lie in the lower half.
        EXPECT_NEAR(fedLevel(levels), c.engineLevel, c.engineLevel * 0.2) << "channel " << ch + 1;
    }
    for (int ch = 4; ch < 8; ++ch)
        EXPECT_EQ(peakAbs(wav.channels[static_cast<size_t>(ch)]), 0.0) << "channel " << ch + 1 << " has no zone";

    // Silence before the feed: everything recorded before it was started, on
    // every corner. (The first window at full level is no measure of when
    // sound began: under load the feed may pause for more than the engines'
    // stall time right after its start, and the shakers fall silent for a
    // moment.)
    for (int ch = 0; ch < 4; ++ch)
        EXPECT_EQ(peakAbs(wav.channels[static_cast<size_t>(ch)], 0, result.feedStartFrame), 0.0)
            << "channel " << ch + 1;
    // Silence after the feed stopped: the engine at once, the road's smoothed
    // level dying away within a second and a half.
    const size_t quiet = last + static_cast<size_t>(1.5 * kRate);
    ASSERT_GT(wav.frames(), quiet + window) << "the recording ended too early";
    for (int ch = 0; ch < 4; ++ch) {
        const auto& x = wav.channels[static_cast<size_t>(ch)];
        EXPECT_LT(toneAmplitude(x, c.engineHz, kRate, quiet, quiet + window), 1e-4) << "channel " << ch + 1;
        EXPECT_LT(peakAbs(x, quiet, wav.frames()), 0.002) << "channel " << ch + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Simulators, SimFeedJack, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.feedName); });

}  // namespace
}  // namespace qv::test
