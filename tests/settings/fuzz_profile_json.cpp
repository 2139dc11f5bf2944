// libFuzzer target: the profile reader on arbitrary text.
//
// Beyond "no crash", every value the reader stores must be finite and in its
// range, and a written profile must read back bit for bit.

#include "settings/ProfileFile.h"
#include "support/FuzzSampling.h"

#include <cfloat>
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

// In 0..1 and never a denormal.
bool unit(float v) { return std::isfinite(v) && (v == 0.0f || (v >= FLT_MIN && v <= 1.0f)); }

void checkRanges(const EffectProfile& p) {
    for (float level : {p.roadVibration, p.suspImpact, p.kerbRumble, p.engineRumble, p.absLock, p.gearChangeIntensity,
                        p.gearChangeDuration, p.wheelSlipSensitivity})
        require(unit(level));
    require(p.wheelSlipThreshold >= 1 && p.wheelSlipThreshold <= 100);
    for (float hz : {p.freqRoadVib, p.freqSuspImp, p.freqKerb, p.freqEngine, p.freqAbsLock, p.freqGear, p.freqWheelSlip})
        require(std::isfinite(hz) && hz >= kMinEffectFrequency && hz <= kMaxEffectFrequency);
    for (uint8_t flag : p.effectEnabled)
        require(flag <= 1);
    require(p.suspDualBand <= 1);
    for (const auto& row : p.routeGain)
        for (float gain : row)
            require(unit(gain));
}

// The bytes the round trip compares: every member up to the gains.
constexpr size_t kProfileBytes = offsetof(EffectProfile, routeGain) + sizeof(EffectProfile::routeGain);

// Profiles whose round trip already passed in this run. Writing and
// re-reading depend on nothing but the profile, so a profile met again (most
// mutations leave the values as they were) needs no second trip. A table of
// recent ones, compared in full; a clash only forgets an older one.
class PassedRoundTrips {
  public:
    QV_FUZZ_HARNESS_ONLY bool contains(const EffectProfile& p) const {
        const Slot& slot = slots_[slotOf(p)];
        return slot.used && same(slot.bytes, bytesOf(p));
    }

    QV_FUZZ_HARNESS_ONLY void add(const EffectProfile& p) {
        Slot& slot = slots_[slotOf(p)];
        const unsigned char* bytes = bytesOf(p);
        for (size_t i = 0; i < kProfileBytes; ++i)
            slot.bytes[i] = bytes[i];
        slot.used = true;
    }

  private:
    static constexpr size_t kSlots = 4096;
    struct Slot {
        bool used = false;
        unsigned char bytes[kProfileBytes];
    };

    QV_FUZZ_HARNESS_ONLY static const unsigned char* bytesOf(const EffectProfile& p) {
        return reinterpret_cast<const unsigned char*>(&p.roadVibration);
    }

    // Compared byte by byte here: the library's memcmp would feed these
    // comparisons to the fuzzer as if the reader had made them.
    QV_FUZZ_HARNESS_ONLY static bool same(const unsigned char* a, const unsigned char* b) {
        unsigned char differ = 0;
        for (size_t i = 0; i < kProfileBytes; ++i)
            differ |= a[i] ^ b[i];
        return differ == 0;
    }

    QV_FUZZ_HARNESS_ONLY static size_t slotOf(const EffectProfile& p) {
        const unsigned char* bytes = bytesOf(p);
        uint32_t hash = 2166136261u;  // FNV-1a
        for (size_t i = 0; i < kProfileBytes; ++i)
            hash = (hash ^ bytes[i]) * 16777619u;
        return hash % kSlots;
    }

    Slot slots_[kSlots];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Every input starts from the defaults, built once and copied.
    static const EffectProfile defaults;
    EffectProfile profile = defaults;
    readProfileText(profile, text);
    checkRanges(profile);

    // Writing and re-reading costs several times the reading: one input in
    // eight checks the round trip, unless its profile passed it before.
    static PassedRoundTrips passed;
    if (!fuzz::isSampledInput(data, size, 8) || passed.contains(profile))
        return 0;
    const std::string written = profileJsonText(profile, kACC, "fuzz");
    EffectProfile back = defaults;
    require(readProfileText(back, written));
    require(std::memcmp(&back.roadVibration, &profile.roadVibration, kProfileBytes) == 0);
    passed.add(profile);
    return 0;
}
