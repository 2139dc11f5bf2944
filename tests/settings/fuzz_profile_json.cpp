// libFuzzer target: the profile reader on arbitrary text.
//
// Beyond "no crash", every value the reader stores must be finite and in its
// range, and a written profile must read back bit for bit.

#include "settings/ProfileFile.h"
#include "support/FuzzSampling.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace qv;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool unit(float v) { return std::isfinite(v) && v >= 0.0f && v <= 1.0f; }

void checkRanges(const EffectProfile& p) {
    for (float level : {p.roadVibration, p.suspImpact, p.kerbRumble, p.engineRumble, p.absLock, p.gearChangeIntensity,
                        p.gearChangeDuration, p.wheelSlipSensitivity})
        require(unit(level));
    require(p.wheelSlipThreshold >= 1 && p.wheelSlipThreshold <= 100);
    for (float hz : {p.freqRoadVib, p.freqSuspImp, p.freqKerb, p.freqEngine, p.freqAbsLock, p.freqGear, p.freqWheelSlip})
        require(std::isfinite(hz) && hz >= kMinEffectFrequency);
    for (uint8_t flag : p.effectEnabled)
        require(flag <= 1);
    require(p.suspDualBand <= 1);
    for (const auto& row : p.routeGain)
        for (float gain : row)
            require(unit(gain));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Every input starts from the defaults, built once and copied.
    static const EffectProfile defaults;
    EffectProfile profile = defaults;
    readProfileText(profile, text);
    checkRanges(profile);

    // Writing and re-reading costs several times the reading: one input in
    // eight checks the round trip.
    if (!fuzz::isSampledInput(data, size, 8))
        return 0;
    const std::string written = profileJsonText(profile, kACC, "fuzz");
    EffectProfile back = defaults;
    require(readProfileText(back, written));
    require(std::memcmp(&back.roadVibration, &profile.roadVibration,
                        offsetof(EffectProfile, routeGain) + sizeof profile.routeGain) == 0);
    return 0;
}
