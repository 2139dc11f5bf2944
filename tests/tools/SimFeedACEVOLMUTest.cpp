// qv-simfeed's AC EVO and Le Mans Ultimate writers, read back by their
// engines in a test's own shared-memory folder.

#include "engines/ACEVOHapticEngine.h"
#include "engines/LMUHapticEngine.h"
#include "engines/SharedMemoryLock.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "simfeed/ACEVOFeedWriter.h"
#include "simfeed/DriveScript.h"
#include "simfeed/FeedOptions.h"
#include "simfeed/LMUFeedWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qv::test {
namespace {

using namespace qv::simfeed;

FeedConfig configFor(SimKind sim, const TempDir& dir) {
    FeedConfig c;
    c.sim = sim;
    c.shmFolder = dir.path();
    c.script = ScriptKind::Lap;
    return c;
}

TEST(SimFeedSimulators, TheOptionsNameBothSimulators) {
    for (auto [name, kind] : {std::pair{"ac_evo", SimKind::ACEvo}, std::pair{"lmu", SimKind::LMU}}) {
        FeedOptions o;
        std::string error;
        const char* args[] = {"qv-simfeed", "--sim", name};
        ASSERT_TRUE(parseFeedOptions(3, args, o, error)) << error;
        EXPECT_EQ(o.config.sim, kind);
        TempDir dir;
        auto writer = makeFeedWriter(configFor(kind, dir));
        ASSERT_NE(writer, nullptr);
        EXPECT_TRUE(writer->open()) << writer->lastError();
        writer->close();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

class ACEVOFeed : public ::testing::Test {
protected:
    ACEVOFeed() : feed(configFor(SimKind::ACEvo, dir)), engine(dir.path(), &clock) {}
    HapticFrame take(double t, int tick) {
        feed.publish(t, tick);
        clock.advanceMs(10);
        HapticFrame out;
        EXPECT_TRUE(engine.update(fx, out)) << t;
        return out;
    }
    std::string printed;
    OutputCapture capture{[this](OutputStream, std::string_view t) { printed += t; }};
    TempDir dir;
    ACEVOFeedWriter feed;
    ManualClock clock;
    ACEVOHapticEngine engine;
    EffectProfile fx;
};

TEST_F(ACEVOFeed, TheEngineReadsWhatTheFeedPublishes) {
    EXPECT_FALSE(engine.connect());
    ASSERT_TRUE(feed.open()) << feed.lastError();
    ASSERT_TRUE(engine.connect());

    take(2.0, 1);  // in the garage
    EXPECT_FALSE(engine.isOnTrack());
    EXPECT_TRUE(engine.isEngineTypeCached());
    EXPECT_EQ(engine.engineType(), 0) << "a combustion engine";
    take(7.0, 2);  // pit lane
    EXPECT_FALSE(engine.isOnTrack());

    take(27.5, 3);
    HapticFrame out = take(27.51, 4);  // the kerb strike on the right
    const DriveState want = driveAt(ScriptKind::Lap, 27.51);
    EXPECT_TRUE(engine.isOnTrack());
    EXPECT_EQ(engine.gear(), want.gear + 1);
    EXPECT_FLOAT_EQ(engine.speedMps(), want.speed * 3.6f / 3.6f);
    EXPECT_EQ(engine.sample().rpm, static_cast<float>(static_cast<int>(want.rpm)));
    EXPECT_EQ(engine.sample().packetId, 4);
    EXPECT_GT(out.corners[1].kerbAmp, 0.0f);
    EXPECT_GT(out.engineAmp, 0.0f);

    out = take(25.2, 5);  // the locking front axle
    EXPECT_GT(out.corners[0].absAmp, 0.0f);
    EXPECT_EQ(out.corners[2].absAmp, 0.0f);

    take(32.0, 6);  // the slide
    out = take(32.01, 7);
    EXPECT_GT(out.corners[2].slipAmp, out.corners[0].slipAmp);

    feed.close();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(engine.isConnected()) << "the pages left behind stay readable";
    clock.advanceMs(600);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{}) << "the stall silences the shakers";

    ASSERT_TRUE(feed.open());
    EXPECT_FALSE(engine.isConnected()) << "new pages: reconnect";
    ASSERT_TRUE(engine.connect());
    take(30.0, 1);
    EXPECT_TRUE(engine.isOnTrack());
}

class LMUFeed : public ::testing::Test {
protected:
    LMUFeed() : feed(configFor(SimKind::LMU, dir)), engine(dir.path(), &clock) {}
    HapticFrame take(double t) {
        feed.publish(t, 0);
        HapticFrame out;
        EXPECT_TRUE(engine.update(fx, out)) << t;
        return out;
    }
    std::string printed;
    OutputCapture capture{[this](OutputStream, std::string_view t) { printed += t; }};
    TempDir dir;
    LMUFeedWriter feed;
    ManualClock clock;
    LMUHapticEngine engine;
    EffectProfile fx;
};

TEST_F(LMUFeed, TheEngineReadsWhatTheFeedPublishes) {
    EXPECT_FALSE(engine.connect());
    ASSERT_TRUE(feed.open()) << feed.lastError();
    ASSERT_TRUE(engine.connect());
    EXPECT_TRUE(engine.hasDataEvent());
    EXPECT_FALSE(engine.lock().createdRecord()) << "the simulator made the lock";
    EXPECT_EQ(printed, "[LMUHapticEngine] Connected to LMU shared memory\n");

    take(2.0);  // in the garage: standing in neutral
    EXPECT_FALSE(engine.isOnTrack());

    take(27.5);
    const HapticFrame out = take(27.51);
    const DriveState want = driveAt(ScriptKind::Lap, 27.51);
    EXPECT_TRUE(engine.isOnTrack());
    EXPECT_EQ(engine.gear(), want.gear);
    EXPECT_FLOAT_EQ(engine.speedMps(), want.speed);
    EXPECT_EQ(engine.lastSampleMs(), 27510);
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.01f);
    EXPECT_TRUE(engine.sample().corners[1].onKerb);
    EXPECT_FALSE(engine.sample().corners[0].onKerb);
    EXPECT_EQ(engine.sample().surfaceTypeByte, engine.sample().corners[0].surfaceType)
        << "the right-hand wheels on the kerb tie with the left-hand ones: the front-left wheel's surface";
    EXPECT_NEAR(engine.sample().corners[0].slipRatio, 0.0f, 1e-4f);
    EXPECT_GT(out.corners[1].kerbAmp, 0.0f);
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);
    EXPECT_EQ(engine.sample().tcPair[1], 10);
    take(27.56);  // after four ticks the feed missed: the time since the last sample
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.05f);

    const HapticFrame locking = take(25.2);
    EXPECT_NEAR(engine.sample().corners[0].slipRatio, 0.25f, 1e-3f);
    EXPECT_GT(locking.corners[0].absAmp, 0.0f);

    feed.close();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "map, event and lock are gone";
    EXPECT_TRUE(engine.isConnected()) << "the map left behind stays readable";
    HapticFrame idle;
    idle.engineAmp = 0.5f;
    for (int i = 0; i < 61; ++i)
        engine.update(fx, idle);
    EXPECT_EQ(idle, HapticFrame{});

    ASSERT_TRUE(feed.open());
    EXPECT_FALSE(engine.isConnected()) << "a new map: reconnect";
    ASSERT_TRUE(engine.connect());
    take(30.0);
    EXPECT_TRUE(engine.isOnTrack());
    EXPECT_FALSE(engine.lock().createdRecord());
}

TEST_F(LMUFeed, TheFeedWritesOnlyUnderTheLock) {
    ASSERT_TRUE(feed.open());
    feed.publish(30.0, 0);
    SharedMemoryLock reader(dir.path());
    ASSERT_TRUE(reader.open());
    ASSERT_TRUE(reader.acquire(100));
    feed.publish(31.0, 0);
    EXPECT_EQ(feed.skippedUpdates(), 1);
    reader.release();

    ASSERT_TRUE(engine.connect());
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.lastSampleMs(), 30000) << "the update under the reader's lock was skipped";
    feed.publish(31.0, 0);
    EXPECT_EQ(feed.skippedUpdates(), 1);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.lastSampleMs(), 31000);
}

}  // namespace
}  // namespace qv::test
