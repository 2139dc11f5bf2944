// The iRacing engine's reading half, through blocks written into a test's own
// shared-memory folder: connecting, the newest row, 360 Hz mode, missing
// variables, losing the simulator and hostile blocks.

#include "engines/IRacingHapticEngine.h"
#include "engines/IRacingTestBlock.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::test {
namespace {

class IRacingTelemetry : public ::testing::Test {
protected:
    IRacingTelemetry() : block(dir.path()), engine(dir.path(), &clock) {}

    // Collects what the engine prints.
    struct Printed {
        std::string out, err;
    };
    bool connectCapturing(Printed& printed) {
        OutputCapture capture([&](OutputStream s, std::string_view t) {
            (s == OutputStream::StandardOutput ? printed.out : printed.err) += t;
        });
        return engine.connect();
    }
    bool connectQuietly() {
        Printed ignored;
        return connectCapturing(ignored);
    }
    bool updateCapturing(HapticFrame& out, Printed& printed) {
        OutputCapture capture([&](OutputStream s, std::string_view t) {
            (s == OutputStream::StandardOutput ? printed.out : printed.err) += t;
        });
        return engine.update(fx, out);
    }
    static HapticFrame sentinel() {
        HapticFrame f;
        f.engineAmp = 0.777f;
        f.corners[2].roadFreq = 1.5f;
        return f;
    }
    uint8_t* bytesOfHeader(const std::string& name) { return block.bytes() + block.varHeaderOffset(name); }
    // Whether the engine maps the telemetry file: the block's writer maps it
    // once itself, so the engine's mapping is a second one.
    bool mapped() const {
        const std::string maps = readFile("/proc/self/maps");
        const std::string path = dir.path() + "IRSDKMemMapFileName";
        int count = 0;
        for (size_t at = maps.find(path); at != std::string::npos; at = maps.find(path, at + 1))
            ++count;
        return count > 1;
    }

    TempDir dir;
    IRacingTestBlock block;
    ManualClock clock;
    IRacingHapticEngine engine;
    EffectProfile fx;
};

TEST_F(IRacingTelemetry, ConnectsPrintsTheReportAndTakesEachRowOnce) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    Printed printed;
    ASSERT_TRUE(connectCapturing(printed));
    EXPECT_EQ(printed.out,
              "\n[IRacingHapticEngine] Connected\n"
              "  Tick rate : 60 Hz\n"
              "  Variables : 26\n"
              "  360Hz     : NO  - set irsdkLog360Hz=1 in Documents\\iRacing\\app.ini\n"
              "\n"
              "  LF shock: defl MISSING  vel  MISSING\n"
              "  RF shock: defl MISSING  vel  MISSING\n"
              "  LR shock: defl MISSING  vel  MISSING\n"
              "  RR shock: defl MISSING  vel  MISSING\n"
              "\n");
    EXPECT_EQ(printed.err, "");
    EXPECT_TRUE(engine.isConnected());
    EXPECT_FALSE(engine.is360Hz());
    EXPECT_EQ(engine.sample().sampleCount, 0);

    block.setOnTrackDefaults();
    block.setFloat("RRshockVel", -0.25f);
    block.setFloat("TireLR_RumblePitch", 80.0f);
    block.setFloat("Throttle", 0.5f);
    block.setFloat("Brake", 0.25f);
    block.setFloat("YawRate", 0.125f);
    block.setFloat("LatAccel", 3.5f);
    block.setFloat("LongAccel", -2.0f);
    block.setFloat("SteeringWheelAngle", -0.5f);
    block.setFloat("VelocityY", 0.75f);
    block.setBool("BrakeABSactive", true);
    block.setInt("Gear", -1);
    block.publish(0, 7);
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    const IRacingSample& s = engine.sample();
    EXPECT_EQ(s.sampleCount, 1);
    EXPECT_EQ(s.tickCount, 7);
    EXPECT_EQ(s.sessionTime, 12.5);
    EXPECT_EQ(s.shockVel[3], -0.25f);
    EXPECT_EQ(s.shockVel[0], 0.02f);
    EXPECT_EQ(s.rumblePitch[2], 80.0f);
    EXPECT_EQ(s.rpm, 6000.0f);
    EXPECT_EQ(s.throttle, 0.5f);
    EXPECT_EQ(s.brake, 0.25f);
    EXPECT_EQ(s.yawRate, 0.125f);
    EXPECT_EQ(s.latAccel, 3.5f);
    EXPECT_EQ(s.longAccel, -2.0f);
    EXPECT_EQ(s.steerAngle, -0.5f);
    EXPECT_EQ(s.localVelY, 0.75f);
    EXPECT_TRUE(s.absActive);
    EXPECT_EQ(engine.gear(), -1);
    EXPECT_EQ(engine.speedMps(), 30.0f);
    EXPECT_TRUE(engine.isOnTrack());

    HapticFrame untouched = sentinel();
    EXPECT_FALSE(engine.update(fx, untouched));
    EXPECT_EQ(untouched, sentinel());

    // The pit lane is on track; only the garage or a cleared flag is not.
    block.setBool("IsInGarage", true);
    block.publish(1, 8);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_FALSE(engine.isOnTrack());
    EXPECT_EQ(out, HapticFrame{});
}

TEST_F(IRacingTelemetry, TheNewestRowWinsLowerIndexOnTiesAndABackwardsTickIsNew) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create(3));
    ASSERT_TRUE(connectQuietly());
    HapticFrame out;
    for (int b = 0; b < 3; ++b) {
        block.setOnTrackDefaults();
        block.setFloat("Speed", 10.0f * (b + 1));
        block.publish(b, b == 0 ? 5 : 9);
    }
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.speedMps(), 20.0f) << "buffers 1 and 2 tie at tick 9: buffer 1 is read";
    EXPECT_EQ(engine.lastTickCount(), 9);
    EXPECT_FALSE(engine.update(fx, out));

    // A new session starts the ticks over.
    block.setFloat("Speed", 4.0f);
    block.publish(0, 2);
    block.setTick(1, 1);
    block.setTick(2, 1);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.speedMps(), 4.0f);
    EXPECT_EQ(engine.lastTickCount(), 2);
}

TEST_F(IRacingTelemetry, ZeroOrNegativeBufferCountsNeverGiveARowAndHugeOnesStayInTheHeader) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create(3));
    block.setOnTrackDefaults();
    block.publish(0, 5);
    ASSERT_TRUE(connectQuietly());
    HapticFrame out = sentinel();
    for (int32_t count : {0, -1, std::numeric_limits<int32_t>::min()}) {
        block.putInt(32, count);
        EXPECT_FALSE(engine.update(fx, out)) << count;
        EXPECT_EQ(out, sentinel());
    }
    // Only four descriptors fit in the header; the count cannot reach past them.
    block.putInt(32, 1000000);
    block.setTick(3, 99);  // the fourth descriptor points at row 0
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.lastTickCount(), 99);
}

TEST_F(IRacingTelemetry, SubSampleModeReadsTheNewestOfSixFromEveryCorner) {
    block.addStandardVars(true);
    ASSERT_TRUE(block.create());
    Printed printed;
    ASSERT_TRUE(connectCapturing(printed));
    EXPECT_TRUE(engine.is360Hz());
    EXPECT_NE(printed.out.find("  360Hz     : YES - 6 sub-samples per frame\n"), std::string::npos);
    EXPECT_NE(printed.out.find("  RR shock: 360Hz defl OK  360Hz vel  OK\n"), std::string::npos);

    block.setOnTrackDefaults();
    for (int c = 0; c < 4; ++c) {
        const std::string corner = kCornerNames[c];
        block.setFloat(corner + "shockVel", 9.0f);
        for (int e = 0; e < 6; ++e) {
            block.setFloat(corner + "shockVel_ST", 0.1f * c + 0.01f * e, e);
            block.setFloat(corner + "shockDefl_ST", 0.5f + e, e);
        }
    }
    block.publishNext();
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.sample().sampleCount, 6);
    for (int c = 0; c < 4; ++c) {
        EXPECT_FLOAT_EQ(engine.sample().shockVel[c], 0.1f * c + 0.05f) << c;
        EXPECT_EQ(engine.sample().shockDefl[c], 5.5f) << c;
    }
}

TEST_F(IRacingTelemetry, OnlyTheLeftFrontDeflectionDecidesTheModeAndShortSubSampleArraysReadZero) {
    block.addStandardVars(true);
    ASSERT_TRUE(block.create());
    block.setOnTrackDefaults();
    block.setFloat("LFshockVel", 0.25f);
    block.setFloat("LFshockVel_ST", 0.75f, 5);
    block.publishNext();

    // The flag cleared, or a count other than 6: plain variables.
    bytesOfHeader("LFshockDefl_ST")[12] = 0;
    ASSERT_TRUE(connectQuietly());
    EXPECT_FALSE(engine.is360Hz());
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.sample().shockVel[0], 0.25f);

    bytesOfHeader("LFshockDefl_ST")[12] = 1;
    block.putInt(block.varHeaderOffset("LFshockDefl_ST") + 8, 5);
    ASSERT_TRUE(connectQuietly());
    EXPECT_FALSE(engine.is360Hz());

    // 360 Hz mode, but one "_ST" variable has only three elements: element 5
    // of it does not exist and reads 0 instead of the next variable's bytes.
    block.putInt(block.varHeaderOffset("LFshockDefl_ST") + 8, 6);
    block.putInt(block.varHeaderOffset("RFshockVel_ST") + 8, 3);
    block.setFloat("RFshockVel_ST", 0.5f, 2);
    block.publishNext();
    ASSERT_TRUE(connectQuietly());
    EXPECT_TRUE(engine.is360Hz());
    block.publishNext();
    Printed printed;
    ASSERT_TRUE(updateCapturing(out, printed));
    EXPECT_EQ(engine.sample().shockVel[0], 0.75f);
    EXPECT_EQ(engine.sample().shockVel[1], 0.0f);
    EXPECT_EQ(printed.err, "[IRacingHapticEngine] ERROR: the telemetry variable \"RFshockVel_ST\" (offset " +
                               std::to_string(block.getInt(block.varHeaderOffset("RFshockVel_ST") + 4)) +
                               ", 3 elements) has no element 5 inside the map; it reads 0\n");
}

TEST_F(IRacingTelemetry, MissingVariablesReadZero) {
    block.addVar("SessionTime", IRacingTestBlock::kDouble);
    block.addVar("IsOnTrack", IRacingTestBlock::kBool);
    block.addVar("RPM", IRacingTestBlock::kFloat);
    ASSERT_TRUE(block.create());
    ASSERT_TRUE(connectQuietly());
    EXPECT_EQ(engine.variableCount(), 3);
    block.setBool("IsOnTrack", true);
    block.setFloat("RPM", 4500.0f);
    block.setDouble("SessionTime", 3.0);
    block.publishNext();
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.sample().rpm, 4500.0f);
    EXPECT_EQ(engine.speedMps(), 0.0f);
    EXPECT_EQ(engine.gear(), 0);
    EXPECT_TRUE(engine.isOnTrack());
    EXPECT_TRUE(std::isfinite(out.engineFreq));
}

TEST_F(IRacingTelemetry, AClearedStatusBitDisconnectsAndDisconnectReleasesEverything) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create(3, /*running=*/false));
    EXPECT_FALSE(connectQuietly()) << "loaded but not running";
    EXPECT_FALSE(mapped());

    block.setRunning(true);
    ASSERT_TRUE(connectQuietly());
    block.setOnTrackDefaults();
    block.publishNext();
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_TRUE(mapped());

    block.setRunning(false);
    EXPECT_FALSE(engine.isConnected());
    block.publishNext();
    EXPECT_FALSE(engine.update(fx, out));
    engine.disconnect();
    EXPECT_FALSE(mapped());
    EXPECT_FALSE(engine.hasDataValidEvent());
    EXPECT_EQ(engine.gear(), 0);
    EXPECT_EQ(engine.speedMps(), 0.0f);
    EXPECT_FALSE(engine.isOnTrack());
    EXPECT_EQ(engine.lastTickCount(), -1);
    EXPECT_EQ(engine.slipState().learnedSteerRatio, 0.02f);
}

TEST_F(IRacingTelemetry, ARemovedOrShrunkenFileIsTheSimulatorGone) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    ASSERT_TRUE(connectQuietly());
    EXPECT_TRUE(engine.isConnected());
    block.remove();
    EXPECT_FALSE(engine.isConnected());

    IRacingTestBlock again(dir.path());
    again.addStandardVars(false);
    ASSERT_TRUE(again.create());
    ASSERT_TRUE(connectQuietly());
    // Another process truncates the file while it is mapped: the next read
    // would fault, so the engine must see it before reading.
    ASSERT_EQ(::truncate((dir.path() + "IRSDKMemMapFileName").c_str(), 64), 0);
    EXPECT_FALSE(engine.isConnected());
    HapticFrame out;
    EXPECT_FALSE(engine.update(fx, out));
}

TEST_F(IRacingTelemetry, TheDataValidEventIsOpenedWhenPresentAndItsAbsenceIsNoError) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    Printed printed;
    ASSERT_TRUE(connectCapturing(printed));
    EXPECT_FALSE(engine.hasDataValidEvent());
    EXPECT_EQ(printed.err, "");

    NamedEvent event(dir.path());
    ASSERT_TRUE(event.openOrCreate("Local\\IRSDKDataValidEvent"));
    ASSERT_TRUE(connectQuietly());
    EXPECT_TRUE(engine.hasDataValidEvent());
    engine.disconnect();
    EXPECT_FALSE(engine.hasDataValidEvent());
    event.removeFile();
}

TEST_F(IRacingTelemetry, NoMapIsQuietAndAShortMapIsReportedOnce) {
    Printed printed;
    EXPECT_FALSE(connectCapturing(printed));
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(engine.lastError(), "");

    ASSERT_TRUE(writeFile(dir.path() + "IRSDKMemMapFileName", std::string(40, '\1')));
    EXPECT_FALSE(connectCapturing(printed));
    EXPECT_FALSE(connectCapturing(printed));
    EXPECT_EQ(printed.err, "[IRacingHapticEngine] ERROR: open " + dir.path() +
                               "IRSDKMemMapFileName: 40 bytes, fewer than the 112 needed\n");
    EXPECT_FALSE(mapped());
}

// The folder comes from the environment: an escape sequence in it is printed
// neutralised, never passed to the terminal.
TEST_F(IRacingTelemetry, ConnectErrorsNeverCarryControlCharacters) {
    const std::string folder = dir.path() + "shm\x1b]0;x\x07/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_TRUE(writeFile(folder + "IRSDKMemMapFileName", std::string(40, '\1')));
    IRacingHapticEngine other(folder, &clock);
    std::string err;
    {
        OutputCapture capture([&](OutputStream s, std::string_view t) {
            if (s == OutputStream::StandardError)
                err += t;
        });
        EXPECT_FALSE(other.connect());
    }
    EXPECT_EQ(err, "[IRacingHapticEngine] ERROR: open " + dir.path() +
                       "shm?]0;x?/IRSDKMemMapFileName: 40 bytes, fewer than the 112 needed\n");
}

// Hostile headers: nothing may be read outside the map.
TEST_F(IRacingTelemetry, VariableHeadersOutsideTheMapFailTheConnect) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    struct Case {
        int32_t count, offset;
    };
    for (Case c : {Case{-1, 112}, Case{4096, 112}, Case{34, -144}, Case{34, 0x7fffff00}}) {
        block.putInt(24, c.count);
        block.putInt(28, c.offset);
        Printed printed;
        EXPECT_FALSE(connectCapturing(printed)) << c.count << " at " << c.offset;
        EXPECT_NE(printed.err.find("variable headers"), std::string::npos) << printed.err;
        EXPECT_FALSE(engine.isConnected());
        EXPECT_FALSE(mapped());
    }
    // No variables at all is a usable, if silent, block.
    block.putInt(24, 0);
    block.putInt(28, 112);
    ASSERT_TRUE(connectQuietly());
    EXPECT_EQ(engine.variableCount(), 0);
}

// A header may claim a huge variable count inside a file large enough to hold
// it (a sparse file costs nothing to make): the count is refused before any
// header is read, with a message, instead of indexing millions of entries.
TEST_F(IRacingTelemetry, AVariableCountBeyondAnyRealMapIsRefused) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create(3, true, 5000 * 144));
    block.putInt(24, 5000);
    block.putInt(28, 112);
    Printed printed;
    EXPECT_FALSE(connectCapturing(printed));
    EXPECT_EQ(printed.err, "[IRacingHapticEngine] ERROR: the telemetry map claims 5000 variables, more than the "
                           "4096 a telemetry map can hold; it is not read\n");
    EXPECT_FALSE(mapped());
    block.putInt(24, 4096);
    EXPECT_TRUE(connectQuietly()) << "the largest count accepted";
}

TEST_F(IRacingTelemetry, HostileVariableAndRowOffsetsReadZero) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    block.putInt(block.varHeaderOffset("Speed") + 4, 0x7ffffff0);   // past the end
    block.putInt(block.varHeaderOffset("RPM") + 4, -8);             // before the row
    block.putInt(block.varHeaderOffset("Throttle") + 8, 0);         // no elements
    block.putInt(block.varHeaderOffset("Brake") + 8, -3);
    // The last variable's offset points at the last two bytes of the map.
    block.putInt(block.varHeaderOffset("Gear") + 4,
                 static_cast<int32_t>(block.size() - block.rowOffset(0) - 2));
    ASSERT_TRUE(connectQuietly());
    block.setOnTrackDefaults();
    block.publish(0, 1);
    HapticFrame out;
    Printed printed;
    ASSERT_TRUE(updateCapturing(out, printed));
    EXPECT_EQ(engine.speedMps(), 0.0f);
    EXPECT_EQ(engine.sample().rpm, 0.0f);
    EXPECT_EQ(engine.sample().throttle, 0.0f);
    EXPECT_EQ(engine.sample().brake, 0.0f);
    EXPECT_EQ(engine.gear(), 0);
    // Said once per connection, not at every sample.
    EXPECT_NE(printed.err.find("ERROR: the telemetry variable \""), std::string::npos) << printed.err;
    EXPECT_EQ(printed.err.find('\n'), printed.err.size() - 1) << printed.err;
    block.publish(0, 2);
    ASSERT_TRUE(updateCapturing(out, printed));
    EXPECT_EQ(printed.err.find('\n'), printed.err.size() - 1) << printed.err;

    // A row offset outside the map is no row.
    printed.err.clear();
    block.putInt(48 + 4, static_cast<int32_t>(block.size()));
    block.setTick(0, 3);
    EXPECT_FALSE(updateCapturing(out, printed));
    EXPECT_EQ(printed.err, "[IRacingHapticEngine] ERROR: the newest telemetry row (tick 3) starts outside the map's " +
                               std::to_string(block.size()) + " bytes; no sample is taken\n");
    block.putInt(48 + 4, -16);
    block.setTick(0, 4);
    EXPECT_FALSE(updateCapturing(out, printed));
    EXPECT_EQ(printed.err.find('\n'), printed.err.size() - 1) << "said once";

    // A new connection says it again.
    ASSERT_TRUE(connectQuietly());
    printed.err.clear();
    block.setTick(0, 5);
    EXPECT_FALSE(updateCapturing(out, printed));
    EXPECT_NE(printed.err.find("starts outside the map"), std::string::npos);
}

TEST_F(IRacingTelemetry, NamesAreReadWithALengthLimit) {
    // A 32-character name fills the field with no NUL; the next header's
    // type word follows directly.
    const std::string longName(32, 'X');
    block.addVar(longName, IRacingTestBlock::kFloat);
    block.addVar("IsOnTrack", IRacingTestBlock::kBool);
    ASSERT_TRUE(block.create());
    // Fill the rest of the header after the name with non-NUL bytes too.
    std::memset(block.bytes() + block.varHeaderOffset(longName) + 48, 'Y', 96);
    ASSERT_TRUE(connectQuietly());
    EXPECT_EQ(engine.variableCount(), 2);
}

TEST_F(IRacingTelemetry, ARepeatedNameKeepsTheLaterHeader) {
    block.addVar("SessionTime", IRacingTestBlock::kDouble);
    block.addVar("IsOnTrack", IRacingTestBlock::kBool);
    block.addVar("RPM", IRacingTestBlock::kFloat);
    block.addVar("Throttle", IRacingTestBlock::kFloat);
    block.addVar("Brake", IRacingTestBlock::kFloat);
    ASSERT_TRUE(block.create());
    // "Throttle" renamed "RPM": two headers of one name, a third after them.
    std::memcpy(block.bytes() + block.varHeaderOffset("Throttle") + 16, "RPM\0\0\0\0\0\0", 9);
    ASSERT_TRUE(connectQuietly());
    EXPECT_EQ(engine.variableCount(), 4);
    block.setBool("IsOnTrack", true);
    block.setDouble("SessionTime", 3.0);
    block.setFloat("RPM", 1000.0f);
    block.setFloat("Throttle", 7000.0f);
    block.setFloat("Brake", 0.25f);
    block.publishNext();
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.sample().rpm, 7000.0f);
    EXPECT_EQ(engine.sample().throttle, 0.0f) << "no header is named Throttle any more";
    EXPECT_EQ(engine.sample().brake, 0.25f);
}

TEST_F(IRacingTelemetry, NonFiniteAndAbsurdValuesGiveAFiniteFrame) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    ASSERT_TRUE(connectQuietly());
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {nan, inf, -inf, 3.0e38f, -3.0e38f};
    int tick = 1;
    for (float v : values) {
        block.setOnTrackDefaults();
        for (const char* name : {"RPM", "Throttle", "Brake", "Speed", "YawRate", "VelocityY", "SteeringWheelAngle",
                                 "LFshockVel", "RRshockVel", "TireRF_RumblePitch", "LatAccel", "LongAccel"})
            block.setFloat(name, v);
        block.setBool("BrakeABSactive", true);
        block.setDouble("SessionTime", std::isnan(v) ? std::numeric_limits<double>::quiet_NaN() : double(v) * 1e300);
        block.publish(0, tick++);
        HapticFrame out;
        ASSERT_TRUE(engine.update(fx, out));
        const float* f = reinterpret_cast<const float*>(&out);
        for (size_t i = 0; i < sizeof out / sizeof(float); ++i)
            EXPECT_TRUE(std::isfinite(f[i])) << "value " << v << " field " << i;
        for (const CornerHaptics& c : out.corners) {
            for (float a : {c.roadAmp, c.impactAmp, c.kerbAmp, c.absAmp, c.slipAmp}) {
                EXPECT_GE(a, 0.0f);
                EXPECT_LE(a, 1.0f);
            }
        }
        EXPECT_GE(out.engineAmp, 0.0f);
        EXPECT_LE(out.engineAmp, 1.0f);
        std::string row;
        ASSERT_TRUE(engine.writeCsvRow(row));
        EXPECT_EQ(row.find('\n'), row.size() - 1);
        EXPECT_EQ(row.find("nan"), std::string::npos) << row;
        EXPECT_EQ(row.find("inf"), std::string::npos) << row;
    }
}

TEST_F(IRacingTelemetry, AStalledSimulatorGetsOneIdleFrameAfterHalfASecond) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    ASSERT_TRUE(connectQuietly());
    block.setOnTrackDefaults();
    block.publishNext();
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    ASSERT_NE(out, HapticFrame{});

    clock.advanceMs(500);
    HapticFrame frame = sentinel();
    EXPECT_FALSE(engine.update(fx, frame)) << "0.5 s is not yet a stall";
    clock.advanceMs(1);
    ASSERT_TRUE(engine.update(fx, frame));
    EXPECT_EQ(frame, HapticFrame{});
    std::string row;
    EXPECT_FALSE(engine.writeCsvRow(row)) << "the idle frame is no sample to log";
    EXPECT_TRUE(row.empty());
    clock.advanceMs(5000);
    frame = sentinel();
    EXPECT_FALSE(engine.update(fx, frame)) << "once per stall";
    EXPECT_EQ(frame, sentinel());

    block.publishNext();
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_NE(out, HapticFrame{});
    EXPECT_TRUE(engine.writeCsvRow(row));
    clock.advanceMs(501);
    EXPECT_TRUE(engine.update(fx, out)) << "the next stall gets its own idle frame";
}

TEST_F(IRacingTelemetry, ReconnectingStartsTheLearningOver) {
    block.addStandardVars(false);
    ASSERT_TRUE(block.create());
    ASSERT_TRUE(connectQuietly());
    block.setOnTrackDefaults();
    block.setFloat("Speed", 25.0f);
    block.setFloat("SteeringWheelAngle", 0.5f);
    block.setFloat("YawRate", 0.25f);  // ratio 0.02
    block.setFloat("Throttle", 0.3f);
    HapticFrame out;
    for (int i = 0; i < 5; ++i) {
        block.publishNext();
        ASSERT_TRUE(engine.update(fx, out));
    }
    EXPECT_TRUE(engine.slipState().ratioLearned);
    ASSERT_TRUE(connectQuietly());
    EXPECT_FALSE(engine.slipState().ratioLearned);
    EXPECT_EQ(engine.slipState().learnCount, 0);
    EXPECT_EQ(engine.slipState().prevSessionTime, 0.0);
}

}  // namespace
}  // namespace qv::test
