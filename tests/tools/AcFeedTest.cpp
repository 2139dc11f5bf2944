// qv-simfeed's ACC/AC pages read back by both engines.

#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "settings/HapticSettings.h"
#include "simfeed/AcFeedWriter.h"
#include "simfeed/FeedOptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace qv::test {
namespace {

using namespace qv::simfeed;

TEST(AcFeedOptions, TheSimulatorsAreNamed) {
    FeedOptions o;
    std::string error;
    const char* acc[] = {"qv-simfeed", "--sim", "acc"};
    ASSERT_TRUE(parseFeedOptions(3, acc, o, error));
    EXPECT_EQ(o.config.sim, SimKind::ACC);
    const char* ac[] = {"qv-simfeed", "--sim", "ac"};
    ASSERT_TRUE(parseFeedOptions(3, ac, o, error));
    EXPECT_EQ(o.config.sim, SimKind::AC);
    const char* wrong[] = {"qv-simfeed", "--sim", "ACC"};
    EXPECT_FALSE(parseFeedOptions(3, wrong, o, error));
    EXPECT_EQ(error, "unknown simulator \"ACC\" (known: iracing, acc, ac, ac_evo, lmu)");
}

TEST(AcFeedWheels, LockUpAbsAndTheSlideShowInTheDerivedWheels) {
    const auto at = [](double t) { return AcFeedWriter::wheelsFor(driveAt(ScriptKind::Lap, t)); };
    const DriveState cruise = driveAt(ScriptKind::Cruise, 3.0);
    const AcFeedWriter::Wheels rolling = AcFeedWriter::wheelsFor(cruise);
    for (int w = 0; w < 4; ++w) {
        EXPECT_FLOAT_EQ(rolling.angularSpeed[w], 30.0f / 0.33f);
        EXPECT_FLOAT_EQ(rolling.slip[w], 0.1f);
    }
    // Full brake without ABS at 25.2 s: the front axle stands still.
    EXPECT_EQ(at(25.2).angularSpeed[0], 0.0f);
    EXPECT_EQ(at(25.2).angularSpeed[1], 0.0f);
    EXPECT_GT(at(25.2).angularSpeed[2], 50.0f);
    // ABS braking: every wheel 4 to 12 % slower than the car.
    const DriveState abs = driveAt(ScriptKind::Lap, 23.0);
    for (int w = 0; w < 4; ++w) {
        const float fraction = at(23.0).angularSpeed[w] * 0.33f / abs.speed;
        EXPECT_GE(fraction, 0.88f - 1e-5f);
        EXPECT_LE(fraction, 0.96f + 1e-5f);
        EXPECT_GT(at(23.0).slip[w], 0.3f);
    }
    // The slide: the rear wheels slip past full slip.
    EXPECT_GT(at(32.0).slip[2], 2.2f);
    EXPECT_LT(at(32.0).slip[0], 1.2f);
}

class AcFeed : public ::testing::Test {
protected:
    FeedConfig config(SimKind sim, ScriptKind script) const {
        FeedConfig c;
        c.sim = sim;
        c.script = script;
        c.shmFolder = dir.path();
        return c;
    }
    TempDir dir;
    ManualClock clock;
    EffectProfile fx;
    HapticFrame out;
};

TEST_F(AcFeed, BothEnginesReadWhatEitherSimulatorPublishes) {
    for (SimKind sim : {SimKind::ACC, SimKind::AC}) {
        AcFeedWriter feed(config(sim, ScriptKind::Cruise));
        ASSERT_TRUE(feed.open()) << feed.lastError();
        EXPECT_EQ(feed.describe(), std::string(sim == SimKind::ACC ? "ACC" : "AC") +
                                       " physics and graphics pages, script cruise, in " + dir.path());
        EXPECT_EQ(std::filesystem::file_size(dir.path() + "acpmf_physics"), 580u);
        EXPECT_EQ(std::filesystem::file_size(dir.path() + "acpmf_graphics"), 1320u);
        ACCHapticEngine acc(dir.path(), &clock);
        ACHapticEngine ac(dir.path(), &clock);
        std::string ignored;
        OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
        ASSERT_TRUE(acc.connect());
        ASSERT_TRUE(ac.connect());
        for (int tick = 1; tick <= 6; ++tick) {
            feed.publish(tick / 333.0, tick);
            clock.advanceMs(3);
            ASSERT_TRUE(acc.update(fx, out));
            EXPECT_FALSE(acc.update(fx, out));
            ASSERT_TRUE(ac.update(fx, out));
        }
        EXPECT_FLOAT_EQ(acc.speedMps(), 30.0f);
        EXPECT_EQ(acc.gear(), 5) << "ACC shows the gear as published";
        EXPECT_EQ(ac.gear(), 4);
        EXPECT_EQ(acc.sample().rpm, 5000.0f);
        EXPECT_TRUE(acc.isOnTrack());
        EXPECT_TRUE(ac.isOnTrack());
        EXPECT_NEAR(acc.sample().lngSlip[0], 0.0f, 1e-5f) << "wheels roll at 0.33 m";
        // The travel's slope is the script's 0.02 m/s.
        EXPECT_NEAR(acc.sample().suspVel[2], 0.02f, 2e-3f);
        EXPECT_NEAR(ac.sample().suspVel[1], 0.02f, 2e-3f);
        EXPECT_GT(out.corners[0].roadAmp, 0.0f);
        EXPECT_GT(out.engineAmp, 0.0f);

        // Stopping the feed: the pages go from their names, but the engines
        // keep what they mapped, stay connected and fall silent once.
        feed.close();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        EXPECT_TRUE(acc.isConnected());
        clock.advanceMs(600);
        ASSERT_TRUE(acc.update(fx, out));
        EXPECT_EQ(out, HapticFrame{});
        ASSERT_TRUE(ac.update(fx, out));
        EXPECT_EQ(out, HapticFrame{});
        EXPECT_FALSE(acc.update(fx, out));

        // A new run of the feed replaces the pages: the engines reconnect.
        AcFeedWriter next(config(sim, ScriptKind::Cruise));
        ASSERT_TRUE(next.open());
        EXPECT_FALSE(acc.isConnected());
        EXPECT_FALSE(ac.isConnected());
        next.close();
    }
}

TEST_F(AcFeed, TheLapBringsThePitsLockUpAndSlip) {
    AcFeedWriter feed(config(SimKind::ACC, ScriptKind::Lap));
    ASSERT_TRUE(feed.open());
    ACCHapticEngine acc(dir.path(), &clock);
    ACHapticEngine ac(dir.path(), &clock);
    std::string ignored;
    OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
    ASSERT_TRUE(acc.connect());
    ASSERT_TRUE(ac.connect());
    int tick = 0;
    HapticFrame accOut, acOut;
    const auto playTo = [&](double t) {
        feed.publish(t, ++tick);
        clock.advanceMs(10);
        ASSERT_TRUE(acc.update(fx, accOut));
        ASSERT_TRUE(ac.update(fx, acOut));
    };
    playTo(2.0);
    EXPECT_FALSE(acc.isOnTrack()) << "in the garage";
    EXPECT_EQ(accOut, HapticFrame{});
    playTo(7.0);
    EXPECT_FALSE(ac.isOnTrack()) << "in the pit lane";
    playTo(25.2);
    EXPECT_GT(accOut.corners[0].absAmp + accOut.corners[1].absAmp, 0.0f) << "the locked front axle";
    EXPECT_EQ(accOut.corners[2].absAmp, 0.0f);
    EXPECT_GT(acOut.corners[0].absAmp, 0.0f);
    EXPECT_EQ(acOut.corners[2].absAmp, 0.0f);
    playTo(32.0);
    EXPECT_GT(accOut.corners[2].slipAmp, 0.0f) << "the slide";
    EXPECT_GT(acOut.corners[3].slipAmp, 0.0f);
    EXPECT_EQ(acOut.corners[0].slipAmp, 0.0f);
}

// With each simulator's own default profile (threshold 100: onset 1.0), the
// lap's slide is felt on the rear wheels for most of its two seconds and not
// before it; the fronts stay below the onset.
TEST_F(AcFeed, TheSlideIsFeltWithEachSimulatorsDefaultProfile) {
    const HapticSettings defaults;
    for (SimKind sim : {SimKind::ACC, SimKind::AC}) {
        AcFeedWriter feed(config(sim, ScriptKind::Lap));
        ASSERT_TRUE(feed.open());
        std::unique_ptr<ISimHapticEngine> engine;
        if (sim == SimKind::ACC)
            engine = std::make_unique<ACCHapticEngine>(dir.path(), &clock);
        else
            engine = std::make_unique<ACHapticEngine>(dir.path(), &clock);
        const EffectProfile& fx = defaults.effectProfiles[sim == SimKind::ACC ? kACC : kAC];
        std::string ignored;
        OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
        ASSERT_TRUE(engine->connect());
        int tick = 0, felt = 0, before = 0;
        for (double t = 29.0; t < 33.0; t += 0.05) {
            feed.publish(t, ++tick);
            clock.advanceMs(10);
            ASSERT_TRUE(engine->update(fx, out));
            const bool rear = out.corners[2].slipAmp > 0.0f && out.corners[3].slipAmp > 0.0f;
            EXPECT_EQ(out.corners[0].slipAmp, 0.0f) << t;
            if (t < 31.0)
                before += rear;
            else
                felt += rear;
        }
        EXPECT_EQ(before, 0);
        EXPECT_GT(felt, 25) << "of 40 samples through the slide";
        EXPECT_EQ(out.corners[2].slipAmp, 0.0f) << "over by 33 s";
        feed.close();
    }
}

}  // namespace
}  // namespace qv::test
