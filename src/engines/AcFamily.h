#pragma once
// What the ACC and AC engines compute alike from their pages (the AC EVO
// engine shares the suspension velocity). Each engine's own constants stay in
// its own haptics source.

#include "engines/HapticFrame.h"
#include "settings/HapticSettings.h"

namespace qv {

// Suspension velocity per corner from the travel of consecutive samples.
class TravelVelocity {
public:
    void reset() { *this = TravelVelocity(); }
    // velocity := (travel - previous travel) / dt, 0 for the first sample
    // since reset(); then remembers `travel`. dt in seconds, above 0.
    void update(const float travel[kCornerCount], float dt, float velocity[kCornerCount]);

private:
    float m_previous[kCornerCount] = {};
    bool m_havePrevious = false;
};

// The wheel-slip amplitude of one wheel from the simulator's raw slip value:
// silent up to the onset 1.2 - a, full at 2.2 - 2a, with
// a = (wheelSlipThreshold - 1) / 99 x 0.2 computed in floating point (a
// higher threshold setting makes slip easier to feel).
float wheelSlipAmplitude(float wheelSlip, const EffectProfile& fx);

}  // namespace qv
