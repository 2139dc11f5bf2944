#pragma once
// Gear-change detection of the run loop (main thread only).

#include <cstdint>

namespace qv {

struct GearTracker {
    static constexpr int kNoGear = -99;
    static constexpr double kNoShift = -99.0;

    int32_t lastGear = kNoGear;
    // Seconds since t0 of the last change; double so the value keeps
    // millisecond steps after days of uptime.
    double lastShiftSeconds = kNoShift;

    void reset() {
        lastGear = kNoGear;
        lastShiftSeconds = kNoShift;
    }

    // Seconds since the last change at `secondsSinceT0`; 99 before any change.
    double secondsSinceShift(double secondsSinceT0) const {
        return lastShiftSeconds < 0.0 ? 99.0 : secondsSinceT0 - lastShiftSeconds;
    }

    // Feeds the gear of a new sample; true when it is a change (the first
    // sample after a reset never is).
    bool observe(int gear, double secondsSinceT0) {
        if (lastGear == kNoGear) {
            lastGear = gear;
            return false;
        }
        if (gear == lastGear)
            return false;
        lastGear = gear;
        lastShiftSeconds = secondsSinceT0;
        return true;
    }
};

// Gear meter: decays linearly from the intensity to 0 over 0.15 s after a change.
inline float gearMeterLevel(double secondsSinceShift, float intensity) {
    if (secondsSinceShift >= 0.0 && secondsSinceShift < 0.15)
        return static_cast<float>((1.0 - secondsSinceShift / 0.15) * intensity);
    return 0.0f;
}

}  // namespace qv
