#pragma once
// A test fixture for the ACC and AC engines: pages in the test's own
// shared-memory folder, a manual clock, and helpers to publish a packet some
// time after the last one and take it.

#include "engines/AcTestPages.h"
#include "engines/EngineContract.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace qv::test {

// Collects what the engines print while it lives.
struct Printed {
    Printed()
        : capture([this](OutputStream s, std::string_view t) {
              (s == OutputStream::StandardOutput ? out : err) += t;
          }) {}
    std::string out, err;
    OutputCapture capture;
};

// A profile with round numbers: every level 1, sensitivity 1, threshold 1.
inline EffectProfile unitProfile(bool dualBand) {
    EffectProfile fx;
    fx.roadVibration = fx.suspImpact = fx.kerbRumble = fx.engineRumble = fx.absLock = 1.0f;
    fx.wheelSlipSensitivity = 1.0f;
    fx.wheelSlipThreshold = 1;
    fx.freqRoadVib = 40.0f;
    fx.freqSuspImp = 30.0f;
    fx.freqKerb = 50.0f;
    fx.freqEngine = 60.0f;
    fx.freqAbsLock = 25.0f;
    fx.suspDualBand = dualBand ? 1 : 0;
    return fx;
}

template <typename Engine>
class AcEngineFixture : public ::testing::Test {
protected:
    AcEngineFixture() : pages(dir.path()), engine(dir.path(), &clock) {}

    // Creates pages holding the on-track defaults and connects.
    void connectOnTrack(size_t physicsSize = AcTestPages::kAccPhysics,
                        size_t graphicsSize = AcTestPages::kAccGraphics) {
        ASSERT_TRUE(pages.create(physicsSize, graphicsSize));
        pages.setOnTrackDefaults();
        pages.setPacketId(0);
        Printed quiet;
        ASSERT_TRUE(engine.connect());
    }
    // `ns` later, publishes the pages as they are and updates the engine.
    bool step(uint64_t ns = 10'000'000) {
        clock.advanceNs(ns);
        pages.publish();
        return engine.update(fx, out);
    }
    // Publishes one packet per travel value (the same on every wheel), `ns` apart.
    void travelSteps(std::initializer_list<float> travels, uint64_t ns = 10'000'000) {
        for (float t : travels) {
            pages.setAllTravel(t);
            ASSERT_TRUE(step(ns));
        }
    }

    TempDir dir;
    AcTestPages pages;
    ManualClock clock;
    Engine engine;
    EffectProfile fx = unitProfile(false);
    HapticFrame out;
};

}  // namespace qv::test
