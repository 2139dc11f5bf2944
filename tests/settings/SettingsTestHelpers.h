#pragma once
// Small helpers shared by the settings tests.

#include "settings/HapticSettings.h"
#include "support/TempDir.h"

#include <cstring>
#include <string>

namespace qv::test {

inline std::string golden(const std::string& name) { return readFile(std::string(QV_GOLDEN_DIR) + name); }

// Field-by-field equality of two profiles, bit for bit (no padding involved).
inline bool sameBits(const EffectProfile& a, const EffectProfile& b) {
    auto same = [](const auto& x, const auto& y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return same(a.roadVibration, b.roadVibration) && same(a.suspImpact, b.suspImpact) &&
           same(a.kerbRumble, b.kerbRumble) && same(a.engineRumble, b.engineRumble) && same(a.absLock, b.absLock) &&
           same(a.gearChangeIntensity, b.gearChangeIntensity) && same(a.gearChangeDuration, b.gearChangeDuration) &&
           same(a.wheelSlipSensitivity, b.wheelSlipSensitivity) && same(a.wheelSlipThreshold, b.wheelSlipThreshold) &&
           same(a.freqRoadVib, b.freqRoadVib) && same(a.freqSuspImp, b.freqSuspImp) && same(a.freqKerb, b.freqKerb) &&
           same(a.freqEngine, b.freqEngine) && same(a.freqAbsLock, b.freqAbsLock) && same(a.freqGear, b.freqGear) &&
           same(a.freqWheelSlip, b.freqWheelSlip) && same(a.effectEnabled, b.effectEnabled) &&
           same(a.suspDualBand, b.suspDualBand) && same(a.routeGain, b.routeGain);
}

}  // namespace qv::test
