#pragma once
// The output of a telemetry engine for one sample: per corner of the car the
// amplitude and frequency of four effects plus a slip amplitude, and one
// engine amplitude and frequency. Plain data, copied whole.
//
// Amplitudes are 0..1 and already include the user's effect level; the
// synthesis applies the enable flags, the routing and the master gain.

#include "settings/HapticSettings.h"

#include <type_traits>

namespace qv {

struct CornerHaptics {
    float roadAmp = 0.0f;
    float roadFreq = 62.0f;
    float impactAmp = 0.0f;
    float impactFreq = 37.0f;
    float kerbAmp = 0.0f;
    float kerbFreq = 49.0f;
    float absAmp = 0.0f;
    float absFreq = 20.0f;
    float slipAmp = 0.0f;

    bool operator==(const CornerHaptics&) const = default;
};

// A default-constructed frame is the idle frame: every shaker silent, the
// frequencies at their resting values.
struct HapticFrame {
    CornerHaptics corners[kCornerCount];  // LF, RF, LR, RR
    float engineAmp = 0.0f;
    float engineFreq = 75.0f;

    bool operator==(const HapticFrame&) const = default;
};

static_assert(sizeof(CornerHaptics) == 9 * sizeof(float));
static_assert(std::is_trivially_copyable_v<HapticFrame>);

inline HapticFrame idleFrame() { return HapticFrame{}; }

}  // namespace qv
