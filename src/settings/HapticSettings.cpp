#include "settings/HapticSettings.h"

#include <cmath>
#include <cstring>

namespace qv {

EffectProfile::EffectProfile()
    : roadVibration(0.05f),
      suspImpact(0.64f),
      kerbRumble(0.8f),
      engineRumble(0.08f),
      absLock(0.6f),
      gearChangeIntensity(0.69f),
      gearChangeDuration(0.069f),
      wheelSlipSensitivity(0.81f),
      wheelSlipThreshold(50),
      freqRoadVib(62.0f),
      freqSuspImp(38.0f),
      freqKerb(49.0f),
      freqEngine(75.0f),
      freqAbsLock(33.0f),
      freqGear(28.0f),
      freqWheelSlip(50.95f),
      effectEnabled{1, 1, 1, 1, 1, 1, 1},
      suspDualBand(0),
      routeGain{} {
    resetEffectGains(*this);
}

void resetEffectGains(EffectProfile& profile) {
    for (auto& row : profile.routeGain) {
        for (int zone = 0; zone < kMaxZones; ++zone)
            row[zone] = zone < 4 ? 1.0f : 0.0f;
    }
}

int gearPulseMs(float gearChangeDuration) {
    float d = gearChangeDuration;
    if (!std::isfinite(d) || d < 0.0f)
        d = 0.0f;
    if (d > 1.0f)
        d = 1.0f;
    return static_cast<int>(d * 160.0f + 40.0f);
}

namespace {

struct SimDefaults {
    float road, susp, kerb, engine, abs, gearIntensity, gearDuration, slipSensitivity;
    int slipThreshold;
    float fRoad, fSusp, fGear, fSlip;
    uint8_t dualBand;
};

// Per-simulator columns of the defaults; kerb, engine and ABS frequencies are
// the same everywhere and stay at the base values.
constexpr SimDefaults kSimDefaults[kSimCount] = {
    {0.05f, 0.64f, 0.8f, 0.08f, 0.6f, 0.69f, 0.069f, 0.81f, 50, 62, 38, 28, 50.95f, 0},  // iracing
    {0.07f, 0.58f, 0.5f, 0.15f, 0.8f, 0.45f, 0.069f, 0.5f, 100, 63, 37, 27, 34, 1},      // acc
    {0.08f, 0.61f, 0.6f, 0.15f, 0.7f, 0.6f, 0.07f, 0.7f, 50, 62, 36, 28, 51, 1},         // lmu
    {0.07f, 0.51f, 0.71f, 0.1f, 0.6f, 0.69f, 0.07f, 0.61f, 50, 63, 38, 28, 51, 1},       // ac_evo
    {0.11f, 0.5f, 0.4f, 0.12f, 0.4f, 0.5f, 0.069f, 0.55f, 100, 62, 36, 28, 41, 1},       // ac
    {0.05f, 0.64f, 0.8f, 0.08f, 0.6f, 0.69f, 0.069f, 0.81f, 50, 62, 38, 28, 50.95f, 0},  // rf2
};

}  // namespace

HapticSettings::HapticSettings()
    : numDevices(1),
      audioDeviceIndex(-1),
      audioSampleRate(48000.0),
      numActiveZones(4),
      cornerZone{0, 1, 2, 3},
      advancedMode(0),
      guiMode(0),
      accentTheme(0),
      guiDensity(1),
      selectedSim(kIRacing),
      masterGain(0.8f),
      activeProfile{} {
    for (int z = 0; z < 4; ++z) {
        copyText(zones[z].name, kCornerNames[z]);
        zones[z].channel = z;
        zones[z].device = 0;
        zones[z].active = 1;
        zones[z].gain = 1.0f;
    }
    for (int s = 0; s < kSimCount; ++s) {
        const SimDefaults& d = kSimDefaults[s];
        EffectProfile& p = effectProfiles[s];
        p = EffectProfile();
        p.roadVibration = d.road;
        p.suspImpact = d.susp;
        p.kerbRumble = d.kerb;
        p.engineRumble = d.engine;
        p.absLock = d.abs;
        p.gearChangeIntensity = d.gearIntensity;
        p.gearChangeDuration = d.gearDuration;
        p.wheelSlipSensitivity = d.slipSensitivity;
        p.wheelSlipThreshold = d.slipThreshold;
        p.freqRoadVib = d.fRoad;
        p.freqSuspImp = d.fSusp;
        p.freqGear = d.fGear;
        p.freqWheelSlip = d.fSlip;
        p.suspDualBand = d.dualBand;
        copyText(activeProfile[s], "default");
    }
}

void copyText(char* dest, int destSize, const char* text) {
    if (destSize <= 0)
        return;
    size_t n = text ? std::strlen(text) : 0;
    if (n >= static_cast<size_t>(destSize)) {
        n = static_cast<size_t>(destSize) - 1;
        // Back off over UTF-8 continuation bytes so no character is cut in half.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    if (n > 0)
        std::memcpy(dest, text, n);
    std::memset(dest + n, 0, static_cast<size_t>(destSize) - n);
}

}  // namespace qv
