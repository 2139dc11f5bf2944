// The Le Mans Ultimate engine's reading half, through maps written into a
// test's own shared-memory folder: validity checks, new-sample detection,
// time steps, the update rate, hostile counts, the idle path and the logger
// rows; and the snapshot copy on its own.

#include "engines/EngineContract.h"
#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

namespace qv::test {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class LMUTelemetry : public ::testing::Test {
protected:
    LMUTelemetry() : map(dir.path()), engine(dir.path(), &clock) {}
    void SetUp() override {
        ASSERT_TRUE(map.create());
        map.setValidPlayer();
        map.setMotion(30.0, 3);
    }
    // Publishes a sample at `elapsed` and runs one update; true when it was new.
    bool sampleAt(double elapsed, HapticFrame* frame = nullptr) {
        map.setElapsed(elapsed);
        HapticFrame out;
        const bool fresh = engine.update(fx, out);
        if (frame)
            *frame = out;
        return fresh;
    }
    std::string printed;
    OutputCapture capture{[this](OutputStream, std::string_view t) { printed += t; }};
    TempDir dir;
    LMUTestMap map;
    ManualClock clock;
    LMUHapticEngine engine;
    EffectProfile fx;
};

TEST_F(LMUTelemetry, ConnectsAndReportsOnce) {
    ASSERT_TRUE(engine.connect());
    EXPECT_EQ(printed, "[LMUHapticEngine] Connected to LMU shared memory\n");
    EXPECT_TRUE(engine.hasDataEvent());
    EXPECT_TRUE(engine.isConnected());
    EXPECT_EQ(engine.sample().surfaceTypeByte, 255);
    EXPECT_EQ(engine.state().rpmLimit, 7000.0f);
    EXPECT_EQ(engine.state().steerK, 0.1f);
    EXPECT_EQ(engine.lastSampleMs(), -1);
}

TEST_F(LMUTelemetry, WithoutTheDataEventItConnectsAndSaysSo) {
    map.remove();
    ASSERT_TRUE(map.create(false));
    map.setValidPlayer();
    map.setMotion(30.0, 3);
    ASSERT_TRUE(engine.connect());
    EXPECT_FALSE(engine.hasDataEvent());
    EXPECT_EQ(printed,
              "[LMUHapticEngine] Connected to LMU shared memory\n"
              "[LMUHapticEngine] The data event \"LMU_Data_Event\" cannot be opened (bridged map): reading without "
              "it\n");
    EXPECT_TRUE(sampleAt(1.0));
}

TEST_F(LMUTelemetry, MissingOrShortMapsFailCleanly) {
    map.remove();
    EXPECT_FALSE(engine.connect());
    EXPECT_TRUE(printed.empty()) << "no simulator: no message";
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "LMU_SharedMemoryLockData")) << "the lock comes after the map";

    ASSERT_TRUE(map.create(true, 100000));
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_NE(engine.lastError().find("100000 bytes, fewer than the 324824 needed"), std::string::npos)
        << engine.lastError();
    EXPECT_FALSE(engine.connect());
    EXPECT_EQ(printed.find("ERROR"), printed.rfind("ERROR")) << "said once";
}

TEST_F(LMUTelemetry, AMapLeftBehindStallsANewOrShrunkMapReconnects) {
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(sampleAt(1.0));
    map.remove();
    EXPECT_TRUE(engine.isConnected()) << "the simulator quit: its map stays readable";
    HapticFrame out = sentinelFrame();
    for (int i = 1; i <= 60; ++i)
        EXPECT_FALSE(engine.update(fx, out)) << i;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});

    // The simulator starts again with a new map.
    ASSERT_TRUE(map.create());
    EXPECT_FALSE(engine.isConnected());
    out = sentinelFrame();
    EXPECT_FALSE(engine.update(fx, out));
    EXPECT_EQ(out, sentinelFrame());
    ASSERT_TRUE(engine.connect());

    // A map cut short under the mapping would fault on reading.
    std::filesystem::resize_file(dir.path() + "LMU_Data", 4096);
    EXPECT_FALSE(engine.isConnected());
    for (int i = 0; i < 70; ++i)
        EXPECT_FALSE(engine.update(fx, out));
    EXPECT_EQ(out, sentinelFrame());
}

TEST_F(LMUTelemetry, OnlyAValidPlayerRecordIsASample) {
    ASSERT_TRUE(engine.connect());
    map.put<int32_t>(44, 0);
    EXPECT_FALSE(sampleAt(1.0)) << "telemetry flag clear";
    map.put<int32_t>(44, 1);
    map.bytes()[128466] = 0;
    EXPECT_FALSE(sampleAt(1.1)) << "no vehicle";
    map.bytes()[128466] = 1;
    map.bytes()[128465] = 1;
    EXPECT_FALSE(sampleAt(1.2)) << "index equal to the count";
    map.bytes()[128464] = 2;
    map.putRecord<double>(12, 1.3, 1);
    map.putRecord<double>(200, -12.0, 1);
    EXPECT_TRUE(sampleAt(1.2));
    EXPECT_FLOAT_EQ(engine.sample().speed, 12.0f) << "record 1 was read";
}

TEST_F(LMUTelemetry, SamplesInTheSameMillisecondCountOnce) {
    ASSERT_TRUE(engine.connect());
    EXPECT_TRUE(sampleAt(5.0001));
    EXPECT_FALSE(sampleAt(5.0009)) << "both truncate to 5000 ms";
    EXPECT_TRUE(sampleAt(5.001));
    EXPECT_EQ(engine.lastSampleMs(), 5001);
    EXPECT_TRUE(sampleAt(4.0)) << "a step back is new too";
}

TEST_F(LMUTelemetry, SuspensionVelocityAndTimeSteps) {
    ASSERT_TRUE(engine.connect());
    map.setDeflection(0, 0.05);
    map.setDeltaTime(0.02);
    ASSERT_TRUE(sampleAt(1.0));
    EXPECT_EQ(engine.sample().corners[0].suspVelocity, 0.0f) << "the first sample";
    EXPECT_FLOAT_EQ(engine.sample().corners[0].suspDeflection, 0.05f);
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.02f);

    map.setDeflection(0, 0.051);
    ASSERT_TRUE(sampleAt(1.02));
    EXPECT_NEAR(engine.sample().corners[0].suspVelocity, 0.05f, 1e-5f);

    const std::pair<double, float> steps[] = {{0.0, 0.001f}, {-1.0, 0.001f}, {0.5, 0.1f}, {1e300, 0.1f}};
    double t = 2.0;
    for (auto [given, used] : steps) {
        map.setDeltaTime(given);
        t += 0.01;
        ASSERT_TRUE(sampleAt(t)) << given;
        EXPECT_FLOAT_EQ(engine.sample().dt, used) << given;
    }
}

TEST_F(LMUTelemetry, NonFiniteTimesAreRejected) {
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(sampleAt(1.0));
    for (double bad : {kNaN, kInf, -kInf, 1e10, -1e10}) {
        EXPECT_FALSE(sampleAt(bad)) << bad;
        EXPECT_EQ(engine.lastSampleMs(), 1000);
    }
    for (double bad : {kNaN, kInf, -kInf}) {
        map.setDeltaTime(bad);
        EXPECT_FALSE(sampleAt(2.0)) << bad;
    }
    map.setDeltaTime(0.01);
    EXPECT_TRUE(sampleAt(2.0));
}

TEST_F(LMUTelemetry, OnTrackNeedsTheListedPlayerMovingOrInGear) {
    ASSERT_TRUE(engine.connect());
    const struct {
        double speed;
        int32_t gear;
        bool listed;
        bool onTrack;
    } cases[] = {{0.0, 0, true, false},  {0.0, 2, true, true},   {0.05, 0, true, false},
                 {5.0, 0, true, true},   {-5.0, 0, true, false}, {-5.0, -1, true, true},
                 {30.0, 3, false, false}};
    double t = 1.0;
    for (const auto& c : cases) {
        map.setMotion(c.speed, c.gear);
        map.bytes()[2192 + 196] = c.listed ? 1 : 0;
        t += 0.01;
        ASSERT_TRUE(sampleAt(t));
        EXPECT_EQ(engine.isOnTrack(), c.onTrack) << c.speed << " " << c.gear;
        EXPECT_FLOAT_EQ(engine.speedMps(), static_cast<float>(std::fabs(c.speed)));
        EXPECT_EQ(engine.gear(), c.gear);
    }
}

TEST_F(LMUTelemetry, TheUpdateRateSkipsGapsAndBackwardSteps) {
    ASSERT_TRUE(engine.connect());
    double t = 10.0;
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(sampleAt(t += 0.02));
    ASSERT_TRUE(sampleAt(t += 3.0));  // a pause: left out
    ASSERT_TRUE(sampleAt(t -= 1.0));  // a step back: left out
    EXPECT_EQ(engine.updateRateHz(), 0.0f);
    for (int i = 0; i < 51; ++i)
        ASSERT_TRUE(sampleAt(t += 0.02));
    EXPECT_NEAR(engine.updateRateHz(), 50.0f, 0.1f);
}

TEST_F(LMUTelemetry, HostileCountsStayInsideTheMapAndTheSnapshot) {
    ASSERT_TRUE(engine.connect());
    map.put<uint64_t>(2184, 1ull << 40);  // results text length
    map.put<int32_t>(1736, 1000);         // vehicles
    map.bytes()[128464] = 255;            // telemetry records in use
    map.bytes()[128465] = 200;            // the player's index
    EXPECT_FALSE(sampleAt(1.0)) << "record 200 does not exist";

    map.bytes()[128465] = 103;  // the last record that fits
    map.putRecord<double>(12, 1.5, 103);
    map.putRecord<double>(4, 0.01, 103);
    map.putRecord<double>(200, -20.0, 103);
    EXPECT_TRUE(sampleAt(1.0));
    EXPECT_FLOAT_EQ(engine.sample().speed, 20.0f);
    EXPECT_TRUE(engine.isOnTrack()) << "vehicle 0 is the player";

    map.put<int32_t>(1736, -1);
    map.putRecord<double>(12, 1.6, 103);
    EXPECT_TRUE(sampleAt(1.0));
    EXPECT_FALSE(engine.isOnTrack()) << "no vehicle listed";

    map.bytes()[128465] = 104;
    map.putRecord<double>(12, 1.7, 103);
    EXPECT_FALSE(sampleAt(1.0));
}

TEST_F(LMUTelemetry, TheSnapshotCopiesFlaggedBlocksAndClipsCounts) {
    std::vector<uint8_t> source(LMUTestMap::kSize, 0);
    std::vector<uint8_t> snapshot(LMUTestMap::kSize, 0);
    auto put32 = [&](size_t at, int32_t v) { std::memcpy(source.data() + at, &v, sizeof v); };
    auto get64 = [&](size_t at) {
        uint64_t v;
        std::memcpy(&v, snapshot.data() + at, sizeof v);
        return v;
    };
    auto get32 = [&](size_t at) {
        int32_t v;
        std::memcpy(&v, snapshot.data() + at, sizeof v);
        return v;
    };

    // Every block marked, every count hostile.
    put32(0, 1);
    put32(40, 1);
    put32(44, 1);
    put32(1736, 1000);
    const uint64_t huge = 1ull << 40;
    std::memcpy(source.data() + 2184, &huge, sizeof huge);
    std::fill(source.begin() + 62928, source.begin() + 62928 + 65536, 'x');
    source[128464] = 255;
    source[128465] = 7;
    source[128466] = 1;
    source[500] = 0x5a;                          // path block
    source[2192 + 103 * 584] = 0x11;             // the last vehicle record
    source[128468 + 103 * 1888 + 10] = 0x22;     // the last telemetry record
    copyLmuSnapshot(source.data(), snapshot.data());
    EXPECT_EQ(get32(1736), 104);
    EXPECT_EQ(get64(2184), 65535u);
    EXPECT_EQ(snapshot[62928 + 65534], 'x');
    EXPECT_EQ(snapshot[62928 + 65535], 0) << "terminated inside the text area";
    EXPECT_EQ(snapshot[128464], 104);
    EXPECT_EQ(snapshot[128465], 7);
    EXPECT_EQ(snapshot[500], 0x5a);
    EXPECT_EQ(snapshot[2192 + 103 * 584], 0x11);
    EXPECT_EQ(snapshot[128468 + 103 * 1888 + 10], 0x22);
    EXPECT_EQ(get64(1728), reinterpret_cast<uintptr_t>(snapshot.data() + 62928));
    EXPECT_EQ(get64(2172), reinterpret_cast<uintptr_t>(snapshot.data() + 2192));

    // Flags clear: those blocks keep what the last copy gave them.
    put32(0, 0);
    put32(40, 0);
    put32(44, 0);
    put32(1736, -5);
    source[500] = 0;
    source[2192] = 0x33;
    source[128465] = 9;
    copyLmuSnapshot(source.data(), snapshot.data());
    EXPECT_EQ(get32(44), 0);
    EXPECT_EQ(snapshot[500], 0x5a);
    EXPECT_EQ(snapshot[2192], 0);
    EXPECT_EQ(snapshot[128465], 7);
    EXPECT_EQ(get32(1736), 104);

    // A negative vehicle count copies none; a short text is terminated.
    put32(40, 1);
    const uint64_t five = 5;
    std::memcpy(source.data() + 2184, &five, sizeof five);
    copyLmuSnapshot(source.data(), snapshot.data());
    EXPECT_EQ(get32(1736), 0);
    EXPECT_EQ(snapshot[2192], 0);
    EXPECT_EQ(snapshot[62928 + 5], 0);
}

TEST_F(LMUTelemetry, ClearingASnapshotZeroesAllItsCopiesWrote) {
    // Copies of shrinking, growing and hostile counts, then one clear: the
    // snapshot must be all zero again, as a new connection starts.
    const struct {
        int32_t vehicles;
        uint64_t textLength;
        uint8_t telemetry;
    } copies[] = {{104, 65535, 104}, {3, 10, 1}, {1000, 1ull << 40, 255}, {-5, 0, 0}, {40, 300, 7}};
    std::vector<uint8_t> source(LMUTestMap::kSize, 0);
    std::vector<uint8_t> snapshot(LMUTestMap::kSize, 0);
    auto put = [&](size_t at, auto v) { std::memcpy(source.data() + at, &v, sizeof v); };
    for (size_t first = 0; first < std::size(copies); ++first) {
        LmuSnapshotReach reach;
        for (size_t i = first; i < std::size(copies); ++i) {
            std::fill(source.begin(), source.end(), static_cast<uint8_t>(0xa5 + i));
            put(0, int32_t{1});
            put(40, int32_t{1});
            put(44, int32_t{1});
            put(1736, copies[i].vehicles);
            put(2184, copies[i].textLength);
            source[128464] = copies[i].telemetry;
            copyLmuSnapshot(source.data(), snapshot.data(), &reach);
        }
        clearLmuSnapshot(snapshot.data(), reach);
        const auto dirty = std::find_if(snapshot.begin(), snapshot.end(), [](uint8_t b) { return b != 0; });
        EXPECT_EQ(dirty, snapshot.end()) << "from copy " << first << ": byte " << (dirty - snapshot.begin());
        EXPECT_EQ(reach.vehicleBytes + reach.textBytes + reach.telemetryBytes, 0u);
    }
}

TEST_F(LMUTelemetry, AReconnectForgetsTheLastConnectionsSnapshot) {
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(sampleAt(1.0));
    EXPECT_TRUE(engine.isOnTrack());
    // The new connection's map has scoring never updated: the player's
    // listing from before must not carry over.
    engine.disconnect();
    map.put<int32_t>(40, 0);
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(sampleAt(1.5));
    EXPECT_FALSE(engine.isOnTrack()) << "no vehicle listed in this connection";
}

TEST_F(LMUTelemetry, TheIdleFrameComesAfterSixtyEmptyTicksOnlyWhileConnected) {
    HapticFrame out = sentinelFrame();
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(engine.update(fx, out)) << "never connected";
    EXPECT_EQ(out, sentinelFrame());

    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(sampleAt(1.0));
    for (int i = 1; i <= 60; ++i)
        EXPECT_FALSE(engine.update(fx, out)) << i;
    EXPECT_EQ(out, sentinelFrame());
    for (int i = 61; i <= 65; ++i) {
        out = sentinelFrame();
        ASSERT_TRUE(engine.update(fx, out)) << i;
        EXPECT_EQ(out, HapticFrame{});
        std::string csv;
        EXPECT_FALSE(engine.writeCsvRow(csv)) << "the idle frame is no sample";
    }
    EXPECT_TRUE(engine.isOnTrack()) << "the last sample's flag stays";
    ASSERT_TRUE(sampleAt(1.01));
    std::string csv;
    EXPECT_TRUE(engine.writeCsvRow(csv));
    EXPECT_FALSE(engine.writeCsvRow(csv)) << "one row per sample";

    engine.disconnect();
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(engine.update(fx, out)) << "disconnected";
}

TEST_F(LMUTelemetry, TheRpmLimitFollowsTheEngine) {
    ASSERT_TRUE(engine.connect());
    map.putRecord<double>(356, 7500.0);
    ASSERT_TRUE(sampleAt(1.0));
    EXPECT_EQ(engine.state().rpmLimit, 7500.0f) << "the highest speed seen";
    map.putRecord<double>(356, 6000.0);
    ASSERT_TRUE(sampleAt(1.1));
    EXPECT_EQ(engine.state().rpmLimit, 7500.0f);
    map.putRecord<double>(532, 100.0);
    ASSERT_TRUE(sampleAt(1.2));
    EXPECT_EQ(engine.state().rpmLimit, 7500.0f);
    map.putRecord<double>(532, 9000.0);
    ASSERT_TRUE(sampleAt(1.3));
    EXPECT_EQ(engine.state().rpmLimit, 9000.0f);
    ASSERT_TRUE(engine.connect());
    EXPECT_EQ(engine.state().rpmLimit, 7000.0f) << "per connection";
}

TEST_F(LMUTelemetry, ValuesAreDecodedFromThePlayersRecord) {
    ASSERT_TRUE(engine.connect());
    map.putRecord<double>(184, 0.75);    // lateral velocity
    map.putRecord<double>(208, -2.5);    // lateral acceleration
    map.putRecord<double>(312, 0.125);   // yaw rate
    map.putRecord<double>(356, 6500.0);  // rpm
    map.putRecord<double>(420, 0.5);
    map.putRecord<double>(428, 0.25);
    map.putRecord<double>(436, -0.3);
    map.putRecord<double>(532, 8200.0);
    map.putRecord<uint8_t>(746, 1);
    map.putRecord<uint8_t>(747, 1);
    const uint8_t pairs[] = {1, 2, 0, 0, 0, 0, 3, 4, 5, 6};
    for (size_t i = 0; i < sizeof pairs; ++i)
        map.putRecord<uint8_t>(750 + i, pairs[i]);
    map.putRecord<uint8_t>(826, 4);  // the vehicle class (LMP3), never a surface
    map.putWheel<double>(2, 40, -50.0);
    map.putWheel<double>(2, 112, 0.375);
    map.putWheel<uint8_t>(2, 176, 5);
    map.putWheel<uint8_t>(2, 179, 30);
    ASSERT_TRUE(sampleAt(1.0));
    const LmuSample& s = engine.sample();
    EXPECT_FLOAT_EQ(s.lateralVelocity, 0.75f);
    EXPECT_FLOAT_EQ(s.lateralAccel, -2.5f);
    EXPECT_FLOAT_EQ(s.yawRate, 0.125f);
    EXPECT_FLOAT_EQ(s.engineRpm, 6500.0f);
    EXPECT_FLOAT_EQ(s.throttle, 0.5f);
    EXPECT_FLOAT_EQ(s.brake, 0.25f);
    EXPECT_FLOAT_EQ(s.steering, -0.3f);
    EXPECT_FLOAT_EQ(s.engineMaxRpm, 8200.0f);
    EXPECT_TRUE(s.absActive);
    EXPECT_TRUE(s.tcActive);
    EXPECT_EQ(s.tcPair[0], 1);
    EXPECT_EQ(s.tcPair[1], 2);
    EXPECT_EQ(s.absPair[0], 3);
    EXPECT_EQ(s.mapPair[1], 6);
    EXPECT_EQ(s.surfaceTypeByte, 0) << "three of the four wheels are on dry track";
    EXPECT_FLOAT_EQ(s.corners[2].wheelSpeed, 15.0f);
    EXPECT_FLOAT_EQ(s.corners[2].slipRatio, 0.5f);
    EXPECT_FLOAT_EQ(s.corners[2].gripFraction, 0.375f);
    EXPECT_TRUE(s.corners[2].onKerb);
    EXPECT_FALSE(s.corners[1].onKerb);
    EXPECT_EQ(s.corners[1].wheelSpeed, 0.0f);

    map.setMotion(8.33, 2);
    ASSERT_TRUE(sampleAt(1.1));
    EXPECT_EQ(engine.sample().corners[2].slipRatio, 0.0f) << "no slip ratio at 8.33 m/s";
}

}  // namespace
}  // namespace qv::test
