// The main road end to end: qv-simfeed plays a scripted iRacing lap into
// shared memory, quorvane (configured through its INI file in a temporary
// application data folder) plays into a private JACK server's "system"
// device, and jack_capture records the first four outputs.
//
// The lap (tools/simfeed/DriveScript.cpp): 0-4 s in the garage (off track),
// 26-30 s a steady right-hander at 25 m/s in 2nd gear (6667 rpm: the engine
// at 6667 / 3000 x 75 = 166.7 Hz) with a kerb strike of 90 Hz on the right
// side (RF, RR) from 27 to 28 s; the feed stops at 30 s.

#include "audio/SignalAnalysis.h"
#include "support/FeedOnJack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace qv::test {
namespace {

constexpr double kRate = 48000.0;
constexpr int kFeedSeconds = 30;
constexpr double kKerbStart = 27.0;  // feed time
// Expected levels with the iRacing defaults and master gain 0.8:
// kerb  min(90 / 150, 1) x kerbRumble 0.8 = 0.48, x weight 0.7 x 0.8
// engine min(6667 / 9000, 1) x engineRumble 0.08 = 0.0593, x weight 0.6 x 0.8
constexpr double kKerbLevel = 0.48 * 0.7 * 0.8;
constexpr double kEngineLevel = (6666.667 / 9000.0) * 0.08 * 0.6 * 0.8;
constexpr double kEngineHz = 6666.667 / 3000.0 * 75.0;

double median(std::vector<double> v) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double level(const WavData& wav, int channel, size_t begin, size_t count, double hz) {
    return toneAmplitude(wav.channels[static_cast<size_t>(channel)], hz, kRate, begin, begin + count);
}

// The largest magnitude over [begin, end) of every channel.
double peak(const WavData& wav, size_t begin, size_t end) {
    double p = 0.0;
    for (const auto& ch : wav.channels)
        for (size_t i = begin; i < end && i < ch.size(); ++i)
            p = std::max(p, static_cast<double>(std::fabs(ch[i])));
    return p;
}

TEST(MainRoadJack, TelemetryBecomesVibrationOnTheRightShakers) {
    JackServer server;
    JackServer::Options options;
    options.realtime = true;
    ASSERT_TRUE(server.start(options)) << server.lastError();
    FeedOnJack run;
    run.quorvanePath = QV_QUORVANE_PATH;
    run.simfeedPath = QV_SIMFEED_PATH;
    run.feedSeconds = kFeedSeconds;
    run.tailSeconds = 4.0;  // the silence after the feed, 1.5 s on
    run.programLineAfterFeed = "iRacing disconnected - reconnecting...";
    FeedOnJackResult result;
    std::string error;
    ASSERT_TRUE(runFeedOnJack(server, run, result, &error)) << error;
    SCOPED_TRACE(result.timing());
    EXPECT_EQ(result.feedExit, 0);
    EXPECT_EQ(result.programExit, 0);
    // The kerb's length is measured in the recording's time, which has to
    // keep to the clock's, as the feed does: a server without realtime
    // scheduling on a loaded machine records a quarter less.
    ASSERT_GT(static_cast<double>(result.feedEndFrame - result.feedStartFrame) / kRate, 0.95 * result.feedClockSeconds)
        << "the JACK server lost time";

    const WavData& wav = result.wav;
    ASSERT_EQ(wav.channels.size(), 4u);
    ASSERT_EQ(wav.sampleRate, 48000);

    // The kerb strike: 0.1 s windows (9 periods of 90 Hz) with 90 Hz on RF.
    const size_t window = 4800;
    std::vector<size_t> kerbWindows;
    for (size_t b = 0; b + window <= wav.frames(); b += window)
        if (level(wav, 1, b, window, 90.0) > kKerbLevel * 0.5)
            kerbWindows.push_back(b);
    ASSERT_GE(kerbWindows.size(), 6u) << "no kerb strike recorded";
    EXPECT_LE(kerbWindows.size(), 12u);
    const size_t kerbOnset = kerbWindows.front();
    EXPECT_LT(kerbWindows.back() - kerbOnset, static_cast<size_t>(1.3 * kRate));

    // On the right side at the expected level, nothing of it on the left. The
    // suspension impact of the strike (about 38 Hz, its level rising and
    // falling 45 times a second) puts a little energy near 90 Hz as well.
    std::vector<double> rf, rr, lf, lr;
    for (size_t b : kerbWindows) {
        rf.push_back(level(wav, 1, b, window, 90.0));
        rr.push_back(level(wav, 3, b, window, 90.0));
        lf.push_back(level(wav, 0, b, window, 90.0));
        lr.push_back(level(wav, 2, b, window, 90.0));
    }
    // Measured where the program was fed (a loaded machine may hold the feed
    // back in some windows of the strike); the silent side over all of them.
    EXPECT_NEAR(fedLevel(rf), kKerbLevel, 0.04);
    EXPECT_NEAR(fedLevel(rr), kKerbLevel, 0.04);
    EXPECT_LT(median(lf), 0.01);
    EXPECT_LT(median(lr), 0.01);

    // The engine before the kerb (26.1 to 26.9 s of the feed) on every
    // corner: 0.12 s windows hold 20 periods of 166.7 Hz.
    const size_t engineWindow = 5760;
    for (int c = 0; c < 4; ++c) {
        std::vector<double> levels;
        for (size_t b = kerbOnset - static_cast<size_t>(0.9 * kRate); b + engineWindow <= kerbOnset;
             b += engineWindow)
            levels.push_back(level(wav, c, b, engineWindow, kEngineHz));
        EXPECT_NEAR(fedLevel(levels), kEngineLevel, kEngineLevel * 0.25) << "channel " << c;
    }

    // Feed time in the recording: from where the feed was started (its time 0
    // lies a little later, by the moment the process takes to start).
    auto at = [&](double feedSeconds) {
        return std::min(result.feedStartFrame + static_cast<size_t>(feedSeconds * kRate), wav.frames());
    };
    // Silence in the garage (off track), and after the feed has stopped.
    ASSERT_GT(at(3.8), at(0.2)) << "the recording ended too early";
    EXPECT_EQ(peak(wav, at(0.2), at(3.8)), 0.0);
    const size_t quiet = result.feedEndFrame + static_cast<size_t>(1.5 * kRate);
    ASSERT_GT(wav.frames(), quiet + 24000) << "the recording ended too early";
    EXPECT_EQ(peak(wav, quiet, wav.frames()), 0.0);
    // And something plays on track.
    EXPECT_GT(peak(wav, at(12.0), at(20.0)), 0.01);
}

}  // namespace
}  // namespace qv::test
