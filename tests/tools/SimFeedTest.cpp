// qv-simfeed's parts: options, scripted drives, and the iRacing writer read
// back by the engine.

#include "engines/IRacingHapticEngine.h"
#include "platform/NamedEvent.h"
#include "platform/Output.h"
#include "simfeed/DriveScript.h"
#include "simfeed/FeedOptions.h"
#include "simfeed/IRacingFeedWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qv::test {
namespace {

using namespace qv::simfeed;

bool parse(std::vector<const char*> args, FeedOptions& options, std::string& error) {
    args.insert(args.begin(), "qv-simfeed");
    return parseFeedOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SimFeedOptions, DefaultsAndEveryOption) {
    FeedOptions o;
    std::string error;
    ASSERT_TRUE(parse({}, o, error));
    EXPECT_EQ(o.config.sim, SimKind::IRacing);
    EXPECT_EQ(o.config.script, ScriptKind::Lap);
    EXPECT_EQ(o.durationSeconds, 0.0);
    EXPECT_FALSE(o.config.iracing360Hz);

    ASSERT_TRUE(parse({"--sim", "iracing", "--script", "cruise", "--duration", "2.5", "--360hz", "--shm-dir", "/x"}, o,
                      error));
    EXPECT_EQ(o.config.script, ScriptKind::Cruise);
    EXPECT_EQ(o.durationSeconds, 2.5);
    EXPECT_TRUE(o.config.iracing360Hz);
    EXPECT_EQ(o.config.shmFolder, "/x");
    ASSERT_TRUE(parse({"--help"}, o, error));
    EXPECT_TRUE(o.showHelp);
}

TEST(SimFeedOptions, BadInputIsRefusedWithAReason) {
    FeedOptions o;
    std::string error;
    EXPECT_FALSE(parse({"--sim", "pong"}, o, error));
    EXPECT_EQ(error, "unknown simulator \"pong\" (known: iracing, acc, ac, ac_evo, lmu)");
    EXPECT_FALSE(parse({"--script", "fast"}, o, error));
    EXPECT_EQ(error, "unknown script \"fast\" (known: cruise, lap)");
    for (const char* d : {"0", "-1", "abc", "1e99", "nan", "inf", "3s", ""}) {
        EXPECT_FALSE(parse({"--duration", d}, o, error)) << d;
        EXPECT_NE(error.find("--duration"), std::string::npos);
    }
    EXPECT_FALSE(parse({"--duration"}, o, error));
    EXPECT_EQ(error, "--duration needs a value");
    EXPECT_FALSE(parse({"--shm-dir", ""}, o, error));
    EXPECT_FALSE(parse({"--fast"}, o, error));
    EXPECT_EQ(error, "unknown option \"--fast\"");
}

TEST(DriveScript, TheCruiseHoldsItsValues) {
    for (double t : {0.0, 1.0, 123.4}) {
        const DriveState s = driveAt(ScriptKind::Cruise, t);
        EXPECT_EQ(s.sessionTime, t);
        EXPECT_EQ(s.speed, 30.0f);
        EXPECT_EQ(s.gear, 4);
        EXPECT_EQ(s.rpm, 5000.0f);
        EXPECT_TRUE(s.onTrack);
        EXPECT_FALSE(s.inGarage);
        EXPECT_EQ(s.shockVel[3], 0.02f);
        EXPECT_EQ(s.rumblePitch[0], 0.0f);
    }
}

TEST(DriveScript, TheLapHasItsEventsAndRepeats) {
    auto at = [](double t) { return driveAt(ScriptKind::Lap, t); };
    EXPECT_TRUE(at(2.0).inGarage);
    EXPECT_FALSE(at(2.0).onTrack);
    EXPECT_TRUE(at(7.0).onPitRoad);
    EXPECT_TRUE(at(7.0).onTrack);
    EXPECT_TRUE(at(23.0).absActive);
    EXPECT_GT(at(23.0).brake, 0.5f);
    EXPECT_GT(at(27.5).rumblePitch[1], 0.0f);  // right side
    EXPECT_GT(at(27.5).rumblePitch[3], 0.0f);
    EXPECT_EQ(at(27.5).rumblePitch[0], 0.0f);
    EXPECT_GT(at(40.5).rumblePitch[0], 0.0f);  // left side
    EXPECT_GT(at(32.0).localVelY, 2.0f);       // the slide
    EXPECT_FALSE(at(46.0).onTrack);            // the excursion
    EXPECT_TRUE(at(52.0).onTrack);
    EXPECT_EQ(at(83.0).absActive, at(23.0).absActive);
    EXPECT_EQ(at(83.0).speed, at(23.0).speed);
    EXPECT_EQ(at(83.0).sessionTime, 83.0);

    // Gear changes up the straight, and rpm within the engine's range throughout.
    int lastGear = at(10.0).gear;
    int upshifts = 0;
    for (double t = 10.0; t < 22.0; t += 0.1) {
        upshifts += at(t).gear > lastGear;
        lastGear = at(t).gear;
    }
    EXPECT_GE(upshifts, 3);
    for (double t = 0.0; t < kLapSeconds; t += 0.05) {
        EXPECT_GE(at(t).rpm, 900.0f) << t;
        EXPECT_LE(at(t).rpm, 8500.0f) << t;
    }
}

class IRacingFeed : public ::testing::TestWithParam<bool> {
protected:
    FeedConfig config() const {
        FeedConfig c;
        c.shmFolder = dir.path();
        c.script = ScriptKind::Lap;
        c.iracing360Hz = GetParam();
        return c;
    }
    TempDir dir;
};

TEST_P(IRacingFeed, TheEngineReadsWhatTheFeedPublishes) {
    IRacingFeedWriter feed(config());
    IRacingHapticEngine engine(dir.path());
    EXPECT_FALSE(engine.connect());
    ASSERT_TRUE(feed.open()) << feed.lastError();
    EXPECT_FALSE(engine.connect()) << "not running before the first row";

    feed.publish(27.5, 1);
    std::string report;
    {
        OutputCapture capture([&](OutputStream, std::string_view t) { report += t; });
        ASSERT_TRUE(engine.connect());
    }
    EXPECT_EQ(engine.is360Hz(), GetParam());
    EXPECT_NE(report.find(GetParam() ? "  LF shock: 360Hz defl OK  360Hz vel  OK" : "  LF shock: defl MISSING  vel  MISSING"),
              std::string::npos)
        << report;
    EXPECT_TRUE(engine.hasDataValidEvent());

    EffectProfile fx;
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    const DriveState want = driveAt(ScriptKind::Lap, 27.5);
    const IRacingSample& got = engine.sample();
    EXPECT_EQ(got.sessionTime, 27.5);
    EXPECT_EQ(got.speed, want.speed);
    EXPECT_EQ(got.gear, want.gear);
    EXPECT_EQ(got.rpm, want.rpm);
    EXPECT_EQ(got.steerAngle, want.steerAngle);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(got.shockVel[c], want.shockVel[c]) << c;
        EXPECT_EQ(got.rumblePitch[c], want.rumblePitch[c]) << c;
    }
    EXPECT_GT(out.corners[1].kerbAmp, 0.0f) << "the kerb strike on the right";
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);

    // Rows rotate through the three buffers; each new one is taken once.
    for (int tick = 2; tick <= 7; ++tick) {
        feed.publish(27.5 + tick / 60.0, tick);
        ASSERT_TRUE(engine.update(fx, out)) << tick;
        EXPECT_EQ(engine.lastTickCount(), tick);
        EXPECT_FALSE(engine.update(fx, out));
    }

    feed.close();
    EXPECT_FALSE(engine.isConnected());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "the map and the event are removed";
}

TEST_P(IRacingFeed, OpeningReplacesAStaleMapFromACrashedFeed) {
    {
        SharedMemoryMap stale(dir.path());
        ASSERT_TRUE(stale.create("Local\\IRSDKMemMapFileName", 200));
        stale.writableData()[4] = 1;  // still marked running
    }
    IRacingFeedWriter feed(config());
    ASSERT_TRUE(feed.open());
    feed.publish(12.0, 1);
    IRacingHapticEngine engine(dir.path());
    std::string ignored;
    OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
    ASSERT_TRUE(engine.connect());
    EXPECT_EQ(engine.variableCount(), GetParam() ? 35 : 27);
}

INSTANTIATE_TEST_SUITE_P(SixtyAndThreeSixty, IRacingFeed, ::testing::Values(false, true));

}  // namespace
}  // namespace qv::test
