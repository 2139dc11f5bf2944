#pragma once
// Small numeric helpers of the haptic computations.

#include "engines/HapticFrame.h"

namespace qv {

// Limits to [0, 1]; NaN gives 0 (std::clamp would pass it through).
inline float clamp01(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }

// The last line of defence of a computed frame: whatever the profile holds,
// amplitudes leave in 0..1 and frequencies finite (a non-finite frequency
// takes its resting value).
void limitFrame(HapticFrame& out);

// The engine vibration of the ACC, AC and iRacing computations: amplitude
// min(rpm / 9000, 1) x engineRumble, frequency max(10, k x freqEngine) with
// k = rpm / 3000 above 100 rpm, else 1.
void setEngineVibration(float rpm, const EffectProfile& fx, HapticFrame& out);

}  // namespace qv
