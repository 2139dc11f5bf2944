// The hostile-value contract of every simulator engine, as one table: a
// physics input that is not finite, or far outside what a car can do, counts
// as missing for that sample. The effects it feeds are silent while it is
// missing, and no effect ever plays above the level the same drive plays with
// sane values (a glitching or hostile page must never drive the shakers flat
// out).
//
// Each row names an engine, one of its inputs and the effects that input
// feeds; the test drives the engine through a sane drive (moderate road,
// kerb, braking into a lock-up, wheel slip, engine), once as it is and once
// with the input hostile for a few samples, and compares the two frame by
// frame. The pages are written with the offsets of the published layouts
// spelt out in the test writers (AcTestPages, ACEVOTestPages, LMUTestMap,
// IRacingTestBlock), and every engine runs on a manual clock, so both drives
// see the same times.

#include "engines/ACCHapticEngine.h"
#include "engines/ACEVOHapticEngine.h"
#include "engines/ACEVOTestPages.h"
#include "engines/ACHapticEngine.h"
#include "engines/AcTestPages.h"
#include "engines/IRacingHapticEngine.h"
#include "engines/IRacingTestBlock.h"
#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {
namespace {

// The effects, as a mask.
enum Effect : unsigned { kRoad = 1, kImpact = 2, kKerb = 4, kAbs = 8, kSlip = 16, kEngine = 32 };
constexpr int kEveryCorner = -1;
constexpr const char* kCorner[kCornerCount] = {"LF", "RF", "LR", "RR"};

// Samples of the drive before, while and after the input is hostile; the
// hostile stretch (160 ms) outlasts a period of the slowest ABS pulse (AC's
// 7 Hz), so every corner's pulse plays in it.
constexpr int kWarmUp = 6;
constexpr int kHostileSamples = 16;
constexpr int kAfter = 3;
constexpr int kSamples = kWarmUp + kHostileSamples + kAfter;
constexpr uint64_t kStepMs = 10;

// A simulator of the table: its pages, a manual clock and the engine.
class Feed {
public:
    virtual ~Feed() = default;
    // Creates the pages and connects the engine.
    virtual void start() = 0;
    // Writes sample `i` of the sane drive.
    virtual void writeSane(int i) = 0;
    // Makes the written sample the newest and lets the clock run one step.
    virtual void publish() = 0;
    ISimHapticEngine& engine() { return *m_engine; }

protected:
    TempDir m_dir;
    ManualClock m_clock;
    std::unique_ptr<ISimHapticEngine> m_engine;
    OutputCapture m_quiet{[](OutputStream, std::string_view) {}};
};

// Alternating +1, -1: the suspension moves back and forth each sample.
float swing(int i) { return i % 2 == 0 ? 1.0f : -1.0f; }

class IRacingFeed : public Feed {
public:
    IRacingFeed() : block(m_dir.path()) { block.addStandardVars(false); }
    void start() override {
        ASSERT_TRUE(block.create());
        m_engine = std::make_unique<IRacingHapticEngine>(m_dir.path(), &m_clock);
        ASSERT_TRUE(m_engine->connect());
    }
    void writeSane(int i) override {
        block.setOnTrackDefaults();
        block.setDouble("SessionTime", 12.5 + i / 60.0);
        block.setFloat("RPM", 6000.0f);
        block.setFloat("Throttle", 0.0f);
        block.setFloat("Brake", 0.5f);
        block.setBool("BrakeABSactive", true);
        block.setFloat("Speed", 30.0f);
        block.setFloat("VelocityY", 1.6f);
        block.setFloat("YawRate", 0.3f);
        block.setFloat("SteeringWheelAngle", 0.2f);
        block.setFloat("LatAccel", 8.0f);
        block.setFloat("LongAccel", -6.0f);
        for (int c = 0; c < kCornerCount; ++c) {
            const std::string corner = kCorner[c];
            block.setFloat(corner + "shockVel", 0.1f * swing(i));
            block.setFloat(corner + "shockDefl", 0.05f);
            block.setFloat("Tire" + corner + "_RumblePitch", 60.0f);
        }
    }
    void publish() override {
        block.publishNext();
        m_clock.advanceMs(kStepMs);
    }
    IRacingTestBlock block;
};

// ACC and AC read the same pages.
template <typename Engine>
class AcFeed : public Feed {
public:
    AcFeed() : pages(m_dir.path()) {}
    void start() override {
        ASSERT_TRUE(pages.create());
        m_engine = std::make_unique<Engine>(m_dir.path(), &m_clock);
        ASSERT_TRUE(m_engine->connect());
    }
    void writeSane(int i) override {
        pages.setOnTrackDefaults();
        pages.setThrottle(0.0f);
        pages.setBrake(0.5f);
        pages.setRpm(6000);
        pages.setSpeedKmh(108.0f);
        pages.setAccelG(-0.8f);
        pages.setAllWheelSlip(1.5f);
        // 10 % slower than the car on every wheel; AC's LF wheel locked.
        pages.setAllAngularSpeed(30.0f * 0.9f / 0.33f);
        pages.setAngularSpeed(0, 0.5f);
        for (int c = 0; c < kCornerCount; ++c)
            pages.setTravel(c, 0.05f + 0.0005f * swing(i));
    }
    void publish() override {
        pages.publish();
        m_clock.advanceMs(kStepMs);
    }
    AcTestPages pages;
};

class ACEVOFeed : public Feed {
public:
    ACEVOFeed() : pages(m_dir.path()) {}
    void start() override {
        ASSERT_TRUE(pages.create());
        m_engine = std::make_unique<ACEVOHapticEngine>(m_dir.path(), &m_clock);
        ASSERT_TRUE(m_engine->connect());
    }
    void writeSane(int i) override {
        pages.setOnTrackDefaults();
        pages.physics<float>(4, 0.0f);      // throttle
        pages.physics<float>(8, 0.5f);      // brake
        pages.physics<float>(24, 0.2f);     // steering
        pages.physics<float>(784, 0.1f);    // kerb vibration
        pages.physics<float>(788, 0.2f);    // slip vibration
        pages.physics<float>(792, 0.1f);    // road vibrations
        pages.physics<float>(796, 0.2f);    // ABS vibrations
        pages.graphics<float>(212, 300.0f);  // torque
        for (int c = 0; c < kCornerCount; ++c) {
            pages.setTravel(c, 0.05f + 0.0005f * swing(i));
            pages.setWheelSlip(c, 1.2f);
            pages.setSlipRatio(c, 0.1f);
            pages.physics<float>(656 + 4 * static_cast<size_t>(c), 0.05f);  // slip angle
        }
    }
    void publish() override {
        pages.publish();
        m_clock.advanceMs(kStepMs);
    }
    ACEVOTestPages pages;
};

class LMUFeed : public Feed {
public:
    LMUFeed() : map(m_dir.path()) {}
    void start() override {
        ASSERT_TRUE(map.create());
        map.setValidPlayer();
        m_engine = std::make_unique<LMUHapticEngine>(m_dir.path(), &m_clock);
        ASSERT_TRUE(m_engine->connect());
    }
    void writeSane(int i) override {
        map.setElapsed(10.0 + 0.01 * i);
        map.setDeltaTime(0.01);
        map.setMotion(30.0, 3);
        map.setThrottleBrake(0.0, 0.5);
        map.putRecord<double>(184, 1.0);     // lateral velocity
        map.putRecord<double>(208, 2.0);     // lateral acceleration
        map.putRecord<double>(312, 0.3);     // yaw rate
        map.putRecord<double>(356, 6000.0);  // engine rpm
        map.putRecord<double>(436, 0.2);     // steering
        map.putRecord<double>(532, 8000.0);  // engine's maximum rpm
        for (int c = 0; c < kCornerCount; ++c) {
            map.setDeflection(c, 0.03 + 0.0005 * swing(i));
            map.setWheelSlip(c, 30.0, 0.1);
            map.putWheel<double>(c, 112, 0.5);  // grip fraction
        }
    }
    void publish() override { m_clock.advanceMs(kStepMs); }
    LMUTestMap map;
};

// One physics input of one engine.
struct Input {
    std::string name;  // "<engine>_<input>", a test name
    std::function<std::unique_ptr<Feed>()> makeFeed;
    std::function<void(Feed&, double)> write;  // writes the value into the input
    unsigned feeds = 0;  // effects silent while the input is missing
    int corner = kEveryCorner;  // where those effects are
    bool integer = false;  // an int32 field: the hostile values are integers
};

bool frameIsFinite(const HapticFrame& f) {
    const float* v = reinterpret_cast<const float*>(&f);
    for (size_t i = 0; i < sizeof(HapticFrame) / sizeof(float); ++i) {
        if (!std::isfinite(v[i]))
            return false;
    }
    return true;
}

bool amplitudesInRange(const HapticFrame& f) {
    auto ok = [](float a) { return a >= 0.0f && a <= 1.0f; };
    for (const CornerHaptics& c : f.corners) {
        if (!ok(c.roadAmp) || !ok(c.impactAmp) || !ok(c.kerbAmp) || !ok(c.absAmp) || !ok(c.slipAmp))
            return false;
    }
    return ok(f.engineAmp);
}

template <typename F>
F& as(Feed& feed) {
    return static_cast<F&>(feed);
}

int32_t toInt(double v) { return static_cast<int32_t>(v); }

std::vector<Input> iracingInputs() {
    auto make = [] { return std::unique_ptr<Feed>(std::make_unique<IRacingFeed>()); };
    std::vector<Input> rows;
    auto floatVar = [&](const std::string& var, unsigned feeds, int corner = kEveryCorner) {
        rows.push_back({"iRacing_" + var, make,
                        [var](Feed& f, double v) { as<IRacingFeed>(f).block.setFloat(var, static_cast<float>(v)); },
                        feeds, corner});
    };
    for (int c = 0; c < kCornerCount; ++c) {
        const std::string corner = kCorner[c];
        floatVar(corner + "shockVel", kRoad | kImpact, c);
        floatVar(corner + "shockDefl", 0, c);
        floatVar("Tire" + corner + "_RumblePitch", kKerb, c);
    }
    floatVar("RPM", kEngine);
    floatVar("Throttle", 0);
    floatVar("Brake", kAbs);
    floatVar("Speed", kAbs | kSlip);
    floatVar("YawRate", 0);
    floatVar("VelocityY", 0);
    floatVar("SteeringWheelAngle", 0);
    floatVar("LatAccel", 0);
    floatVar("LongAccel", 0);
    rows.push_back({"iRacing_SessionTime", make,
                    [](Feed& f, double v) { as<IRacingFeed>(f).block.setDouble("SessionTime", v); }, kAbs | kSlip});
    return rows;
}

template <typename Engine>
std::vector<Input> acInputs(const std::string& engine, bool readsAccel) {
    using F = AcFeed<Engine>;
    auto make = [] { return std::unique_ptr<Feed>(std::make_unique<F>()); };
    auto at = [](size_t offset) {
        return [offset](Feed& f, double v) {
            F& feed = as<F>(f);
            feed.pages.putFloat(feed.pages.physics(), offset, static_cast<float>(v));
        };
    };
    std::vector<Input> rows = {
        {engine + "_throttle", make, at(4), 0},
        {engine + "_brake", make, at(8), kAbs},
        {engine + "_rpm", make, [](Feed& f, double v) { as<F>(f).pages.setRpm(toInt(v)); }, kEngine, kEveryCorner,
         true},
        {engine + "_speedKmh", make, at(28), kAbs},
    };
    if (readsAccel)
        rows.push_back({engine + "_accG", make, at(44), 0});
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t w = 4 * static_cast<size_t>(c);
        rows.push_back({engine + "_wheelSlip_" + kCorner[c], make, at(56 + w), kSlip, c});
        rows.push_back({engine + "_wheelAngularSpeed_" + kCorner[c], make, at(104 + w), kAbs, c});
        rows.push_back({engine + "_suspensionTravel_" + kCorner[c], make, at(184 + w), kRoad | kImpact | kKerb, c});
    }
    return rows;
}

std::vector<Input> acevoInputs() {
    auto make = [] { return std::unique_ptr<Feed>(std::make_unique<ACEVOFeed>()); };
    auto physics = [](size_t offset) {
        return [offset](Feed& f, double v) { as<ACEVOFeed>(f).pages.physics<float>(offset, static_cast<float>(v)); };
    };
    auto physicsInt = [](size_t offset) {
        return [offset](Feed& f, double v) { as<ACEVOFeed>(f).pages.physics<int32_t>(offset, toInt(v)); };
    };
    std::vector<Input> rows = {
        {"ACEVO_throttle", make, physics(4), 0},
        {"ACEVO_brake", make, physics(8), kAbs},
        {"ACEVO_rpm", make, physicsInt(20), kEngine, kEveryCorner, true},
        {"ACEVO_steerAngle", make, physics(24), 0},
        {"ACEVO_speedKmh", make, physics(28), kAbs | kSlip},
        {"ACEVO_absLevel", make, physics(252), kAbs},
        {"ACEVO_currentMaxRpm", make, physicsInt(588), 0, kEveryCorner, true},
        {"ACEVO_kerbVibration", make, physics(784), kKerb},
        {"ACEVO_slipVibration", make, physics(788), 0},
        {"ACEVO_roadVibrations", make, physics(792), kRoad},
        {"ACEVO_absVibrations", make, physics(796), 0},
        {"ACEVO_currentTorque", make,
         [](Feed& f, double v) { as<ACEVOFeed>(f).pages.graphics<float>(212, static_cast<float>(v)); }, 0},
    };
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t w = 4 * static_cast<size_t>(c);
        rows.push_back({std::string("ACEVO_wheelSlip_") + kCorner[c], make, physics(56 + w), kSlip, c});
        rows.push_back({std::string("ACEVO_suspensionTravel_") + kCorner[c], make, physics(184 + w), kImpact | kKerb, c});
        rows.push_back({std::string("ACEVO_slipRatio_") + kCorner[c], make, physics(640 + w), kAbs, c});
        rows.push_back({std::string("ACEVO_slipAngle_") + kCorner[c], make, physics(656 + w), 0, c});
    }
    return rows;
}

std::vector<Input> lmuInputs() {
    auto make = [] { return std::unique_ptr<Feed>(std::make_unique<LMUFeed>()); };
    auto record = [](size_t offset) {
        return [offset](Feed& f, double v) { as<LMUFeed>(f).map.putRecord<double>(offset, v); };
    };
    std::vector<Input> rows = {
        {"LMU_lateralVelocity", make, record(184), 0},
        {"LMU_forwardVelocity", make, record(200), kAbs | kSlip},
        {"LMU_lateralAcceleration", make, record(208), 0},
        {"LMU_yawRate", make, record(312), 0},
        {"LMU_engineRpm", make, record(356), kEngine},
        {"LMU_throttle", make, record(420), 0},
        {"LMU_brake", make, record(428), kAbs},
        {"LMU_steering", make, record(436), 0},
        {"LMU_engineMaxRpm", make, record(532), 0},
    };
    for (int c = 0; c < kCornerCount; ++c) {
        auto wheel = [c](size_t offset) {
            return [c, offset](Feed& f, double v) { as<LMUFeed>(f).map.putWheel<double>(c, offset, v); };
        };
        rows.push_back({std::string("LMU_deflection_") + kCorner[c], make, wheel(0), kRoad | kImpact | kKerb, c});
        rows.push_back({std::string("LMU_wheelRotation_") + kCorner[c], make, wheel(40), kAbs, c});
        rows.push_back({std::string("LMU_gripFraction_") + kCorner[c], make, wheel(112), 0, c});
    }
    return rows;
}

std::vector<Input> everyInput() {
    std::vector<Input> rows;
    for (auto part : {iracingInputs(), acInputs<ACCHapticEngine>("ACC", true), acInputs<ACHapticEngine>("AC", false),
                      acevoInputs(), lmuInputs()})
        rows.insert(rows.end(), part.begin(), part.end());
    return rows;
}

struct Hostile {
    const char* name;
    double value;     // for float and double inputs
    int32_t integer;  // for int32 inputs
};

const Hostile kHostile[] = {
    {"inf", std::numeric_limits<double>::infinity(), INT32_MAX},
    {"minusInf", -std::numeric_limits<double>::infinity(), INT32_MIN},
    {"NaN", std::numeric_limits<double>::quiet_NaN(), INT32_MAX - 1},
    {"1e38", 1e38, 1'000'000'000},
    {"minus1e38", -1e38, -1'000'000'000},
};

// The drive's frames, with the input hostile from sample kWarmUp for
// kHostileSamples samples (or never).
std::vector<HapticFrame> drive(const Input& input, const Hostile* hostile) {
    std::vector<HapticFrame> frames;
    std::unique_ptr<Feed> feed = input.makeFeed();
    feed->start();
    if (::testing::Test::HasFatalFailure())
        return frames;
    EffectProfile fx;
    fx.suspDualBand = 1;
    for (int i = 0; i < kSamples; ++i) {
        feed->writeSane(i);
        if (hostile && i >= kWarmUp && i < kWarmUp + kHostileSamples)
            input.write(*feed, input.integer ? static_cast<double>(hostile->integer) : hostile->value);
        feed->publish();
        HapticFrame out;
        EXPECT_TRUE(feed->engine().update(fx, out)) << "sample " << i << " was not taken";
        frames.push_back(out);
    }
    return frames;
}

float amplitude(const HapticFrame& f, unsigned effect, int corner) {
    const CornerHaptics& h = f.corners[corner];
    switch (effect) {
    case kRoad: return h.roadAmp;
    case kImpact: return h.impactAmp;
    case kKerb: return h.kerbAmp;
    case kAbs: return h.absAmp;
    case kSlip: return h.slipAmp;
    default: return f.engineAmp;
    }
}

const char* effectName(unsigned effect) {
    switch (effect) {
    case kRoad: return "road";
    case kImpact: return "impact";
    case kKerb: return "kerb";
    case kAbs: return "ABS";
    case kSlip: return "slip";
    default: return "engine";
    }
}

class HostileValues : public ::testing::TestWithParam<std::tuple<Input, Hostile>> {};

TEST_P(HostileValues, SilenceWhatTheInputFeedsAndNeverPlayAboveASaneDrive) {
    const auto& [input, hostile] = GetParam();
    const std::vector<HapticFrame> sane = drive(input, nullptr);
    ASSERT_FALSE(HasFailure());
    const std::vector<HapticFrame> bad = drive(input, &hostile);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(bad.size(), sane.size());

    // The sane drive plays what the input feeds, so its silence means something.
    for (unsigned effect : {kRoad, kImpact, kKerb, kAbs, kSlip, kEngine}) {
        if ((input.feeds & effect) == 0)
            continue;
        float loudest = 0.0f;
        for (int i = kWarmUp; i < kWarmUp + kHostileSamples; ++i) {
            for (int c = 0; c < kCornerCount; ++c) {
                if (input.corner == kEveryCorner || input.corner == c)
                    loudest = std::max(loudest, amplitude(sane[static_cast<size_t>(i)], effect, c));
            }
        }
        EXPECT_GT(loudest, 0.0f) << "the sane drive plays no " << effectName(effect);
    }

    for (int i = kWarmUp; i < kSamples; ++i) {
        const HapticFrame& s = sane[static_cast<size_t>(i)];
        const HapticFrame& b = bad[static_cast<size_t>(i)];
        EXPECT_TRUE(frameIsFinite(b)) << "sample " << i;
        EXPECT_TRUE(amplitudesInRange(b)) << "sample " << i;
        const bool whileHostile = i < kWarmUp + kHostileSamples;
        for (unsigned effect : {kRoad, kImpact, kKerb, kAbs, kSlip, kEngine}) {
            for (int c = 0; c < kCornerCount; ++c) {
                if (effect == kEngine && c > 0)
                    break;
                const float hostileLevel = amplitude(b, effect, c);
                const bool fed = (input.feeds & effect) != 0 &&
                                 (effect == kEngine || input.corner == kEveryCorner || input.corner == c);
                if (whileHostile && fed) {
                    EXPECT_EQ(hostileLevel, 0.0f) << effectName(effect) << " at " << kCorner[c] << ", sample " << i
                                                  << ": the missing input's effect must be silent";
                }
                EXPECT_LE(hostileLevel, amplitude(s, effect, c) + 1e-6f)
                    << effectName(effect) << " at " << kCorner[c] << ", sample " << i
                    << (whileHostile ? " (input hostile)" : " (input sane again)") << ": above the sane drive's level";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryEngine, HostileValues, ::testing::Combine(::testing::ValuesIn(everyInput()),
                                                                         ::testing::ValuesIn(kHostile)),
                         [](const ::testing::TestParamInfo<std::tuple<Input, Hostile>>& info) {
                             return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace qv::test
