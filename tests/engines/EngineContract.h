#pragma once
// The contract every ISimHapticEngine keeps with the run loop, as a typed test
// suite each engine instantiates:
//
//   struct MyTraits {
//       // Plays the simulator for one test; constructed before the engine.
//       class Feed {
//       public:
//           Feed();                    // nothing published yet
//           void start();              // the simulator appears: connect can succeed
//           void publish(bool onTrack);// one new sample, car on track or not
//           void stop();               // the simulator goes away
//       };
//       static std::unique_ptr<qv::ISimHapticEngine> make(Feed& feed);
//       static constexpr const char* kName = "iRacing";  // displayName()
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(MyEngine, EngineContract, MyTraits);

#include "engines/ISimHapticEngine.h"
#include "platform/Console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace qv::test {

// A frame no engine would produce, to see whether update() touched it.
inline HapticFrame sentinelFrame() {
    HapticFrame f;
    for (CornerHaptics& c : f.corners) {
        c.roadAmp = 0.123f;
        c.roadFreq = 1.5f;
        c.slipAmp = 0.321f;
    }
    f.engineAmp = 0.777f;
    f.engineFreq = 3.25f;
    return f;
}

inline bool frameIsFinite(const HapticFrame& f) {
    const float* v = reinterpret_cast<const float*>(&f);
    for (size_t i = 0; i < sizeof(HapticFrame) / sizeof(float); ++i) {
        if (!(v[i] == v[i]) || v[i] > 1e30f || v[i] < -1e30f)
            return false;
    }
    return true;
}

inline bool amplitudesInRange(const HapticFrame& f) {
    auto ok = [](float a) { return a >= 0.0f && a <= 1.0f; };
    for (const CornerHaptics& c : f.corners) {
        if (!ok(c.roadAmp) || !ok(c.impactAmp) || !ok(c.kerbAmp) || !ok(c.absAmp) || !ok(c.slipAmp))
            return false;
    }
    return ok(f.engineAmp);
}

template <typename Traits>
class EngineContract : public ::testing::Test {
protected:
    typename Traits::Feed feed;
    EffectProfile fx;
};

TYPED_TEST_SUITE_P(EngineContract);

TYPED_TEST_P(EngineContract, FreshEngineIsDisconnectedAndLeavesFramesAlone) {
    auto engine = TypeParam::make(this->feed);
    EXPECT_STREQ(engine->displayName(), TypeParam::kName);
    EXPECT_FALSE(engine->isConnected());
    HapticFrame out = sentinelFrame();
    EXPECT_FALSE(engine->update(this->fx, out));
    EXPECT_EQ(out, sentinelFrame());
    engine->disconnect();
    engine->disconnect();
    EXPECT_FALSE(engine->isConnected());
}

TYPED_TEST_P(EngineContract, ConnectFailsCleanlyWithoutTheSimulator) {
    auto engine = TypeParam::make(this->feed);
    EXPECT_FALSE(engine->connect());
    EXPECT_FALSE(engine->isConnected());
    HapticFrame out = sentinelFrame();
    EXPECT_FALSE(engine->update(this->fx, out));
    EXPECT_EQ(out, sentinelFrame());
}

TYPED_TEST_P(EngineContract, EachSampleIsDeliveredOnce) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    EXPECT_TRUE(engine->isConnected());
    this->feed.publish(true);
    HapticFrame out;
    ASSERT_TRUE(engine->update(this->fx, out));
    EXPECT_TRUE(frameIsFinite(out));
    EXPECT_TRUE(amplitudesInRange(out));
    HapticFrame again = HapticFrame{};
    EXPECT_FALSE(engine->update(this->fx, again));
    EXPECT_EQ(again, HapticFrame{});
}

TYPED_TEST_P(EngineContract, OffTrackSampleGivesTheExactIdleFrame) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    this->feed.publish(false);
    HapticFrame out = sentinelFrame();
    ASSERT_TRUE(engine->update(this->fx, out));
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_FALSE(engine->isOnTrack());
    for (const CornerHaptics& c : out.corners) {
        EXPECT_EQ(c.roadFreq, 62.0f);
        EXPECT_EQ(c.impactFreq, 37.0f);
        EXPECT_EQ(c.kerbFreq, 49.0f);
        EXPECT_EQ(c.absFreq, 20.0f);
    }
    EXPECT_EQ(out.engineFreq, 75.0f);
}

TYPED_TEST_P(EngineContract, ZeroLevelsGiveSilentAmplitudes) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    EffectProfile silent = this->fx;
    silent.roadVibration = silent.suspImpact = silent.kerbRumble = silent.engineRumble = silent.absLock = 0.0f;
    silent.wheelSlipSensitivity = 0.0f;
    int samples = 0;
    for (int i = 0; i < 3; ++i) {
        this->feed.publish(true);
        HapticFrame out;
        if (!engine->update(silent, out))
            continue;
        ++samples;
        for (const CornerHaptics& c : out.corners) {
            EXPECT_EQ(c.roadAmp, 0.0f);
            EXPECT_EQ(c.impactAmp, 0.0f);
            EXPECT_EQ(c.kerbAmp, 0.0f);
            EXPECT_EQ(c.absAmp, 0.0f);
            EXPECT_EQ(c.slipAmp, 0.0f);
        }
        EXPECT_EQ(out.engineAmp, 0.0f);
    }
    // Nothing checked is no pass: the published samples must arrive.
    EXPECT_GT(samples, 0) << "no sample reached the engine";
}

TYPED_TEST_P(EngineContract, DisconnectReleasesAndReconnectWorks) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    engine->disconnect();
    EXPECT_FALSE(engine->isConnected());
    engine->disconnect();
    ASSERT_TRUE(engine->connect());
    EXPECT_TRUE(engine->isConnected());
    // Connecting again while connected starts over cleanly.
    ASSERT_TRUE(engine->connect());
    EXPECT_TRUE(engine->isConnected());
}

TYPED_TEST_P(EngineContract, DestroyingAConnectedEngineIsSafe) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    this->feed.publish(true);
    HapticFrame out;
    engine->update(this->fx, out);
    engine.reset();
    this->feed.stop();
}

TYPED_TEST_P(EngineContract, LoggerLinesAreWholeLines) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    std::string header;
    if (!engine->writeCsvHeader(header))
        GTEST_SKIP() << "engine has no logger columns";
    EXPECT_EQ(header.rfind("timestamp_ms", 0), 0u);
    ASSERT_FALSE(header.empty());
    EXPECT_EQ(header.back(), '\n');
    EXPECT_EQ(header.find('\n'), header.size() - 1);
    ASSERT_TRUE(engine->connect());
    this->feed.publish(true);
    HapticFrame out;
    ASSERT_TRUE(engine->update(this->fx, out));
    std::string row;
    if (engine->writeCsvRow(row)) {
        ASSERT_FALSE(row.empty());
        EXPECT_EQ(row.back(), '\n');
        EXPECT_EQ(row.find('\n'), row.size() - 1);
    }
}

TYPED_TEST_P(EngineContract, DashboardHeaderClearsTheConsole) {
    this->feed.start();
    auto engine = TypeParam::make(this->feed);
    ASSERT_TRUE(engine->connect());
    RecordingConsole console;
    console.setCursor(5, 40);
    console.write("leftover");
    engine->drawDashboardHeader(console, true, 8, this->fx);
    EXPECT_GE(console.clearCount(), 1);
    EXPECT_EQ(console.screen().rowText(40).find("leftover"), std::string::npos);
    this->feed.publish(true);
    HapticFrame out;
    engine->update(this->fx, out);
    engine->drawDashboard(console, out, this->fx, 120, 0.5f);
}

REGISTER_TYPED_TEST_SUITE_P(EngineContract, FreshEngineIsDisconnectedAndLeavesFramesAlone,
                            ConnectFailsCleanlyWithoutTheSimulator, EachSampleIsDeliveredOnce,
                            OffTrackSampleGivesTheExactIdleFrame, ZeroLevelsGiveSilentAmplitudes,
                            DisconnectReleasesAndReconnectWorks, DestroyingAConnectedEngineIsSafe,
                            LoggerLinesAreWholeLines, DashboardHeaderClearsTheConsole);

}  // namespace qv::test
