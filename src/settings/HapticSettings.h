#pragma once
// The whole persistent configuration of the program: one fixed-size block of
// plain data, copied whole as raw bytes. The live copy is gSettings (see
// LiveSettings.h); readers work on full copies of it.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace qv {

inline constexpr int kMaxAudioDevices = 4;
inline constexpr int kMaxZones = 8;
inline constexpr int kSimCount = 6;
inline constexpr int kEffectCount = 7;
inline constexpr int kCornerCount = 4;
inline constexpr int kProfileNameSize = 64;

// Order of the seven effects in every per-effect array.
enum EffectId : int {
    kRoadVibration = 0,
    kSuspImpact = 1,
    kKerbRumble = 2,
    kEngineRumble = 3,
    kAbsLock = 4,
    kGearChange = 5,
    kWheelSlip = 6,
};

// Simulator numbering; indexes effectProfiles, activeProfile and kSimKeys.
enum SimIndex : int {
    kIRacing = 0,
    kACC = 1,
    kLMU = 2,
    kACEVO = 3,
    kAC = 4,
    kRF2 = 5,
};

inline constexpr const char* kSimKeys[kSimCount] = {"iracing", "acc", "lmu", "ac_evo", "ac", "rf2"};
inline constexpr const char* kCornerNames[kCornerCount] = {"LF", "RF", "LR", "RR"};

inline constexpr bool isValidSimIndex(int sim) { return sim >= 0 && sim < kSimCount; }

struct AudioDeviceSlot {
    char name[256] = {};
    char api[32] = {};
    char clsid[64] = {};
    int32_t paIndex = -1;
    int32_t channels = 0;      // 0 = automatic, else 1..8
    int32_t bufferSize = 256;  // frames
    uint8_t enabled = 0;
};

struct ZoneConfig {
    char name[32] = {};
    int32_t channel = -1;  // -1 = none, else 0..7
    int32_t device = 0;    // index into HapticSettings::devices
    uint8_t active = 0;
    float gain = 1.0f;
};

struct EffectProfile {
    float roadVibration;
    float suspImpact;
    float kerbRumble;
    float engineRumble;
    float absLock;
    float gearChangeIntensity;
    float gearChangeDuration;  // 0..1 -> pulse of 40..200 ms, see gearPulseMs
    float wheelSlipSensitivity;
    int32_t wheelSlipThreshold;  // 1..100
    float freqRoadVib;
    float freqSuspImp;
    float freqKerb;
    float freqEngine;
    float freqAbsLock;
    float freqGear;
    float freqWheelSlip;
    uint8_t effectEnabled[kEffectCount];
    uint8_t suspDualBand;
    float routeGain[kEffectCount][kMaxZones];

    // The base values (the iRacing column of the defaults) with the default routing.
    EffectProfile();
};

// Routes every effect to zones 0-3 at full gain and clears zones 4-7.
void resetEffectGains(EffectProfile& profile);

// Length of the gear-change pulse in milliseconds for a gearChangeDuration
// setting: trunc(40 + 160 * duration), so 0 gives 40 ms and 1 gives 200 ms.
// Non-finite or out-of-range settings are clamped to 0..1 first.
int gearPulseMs(float gearChangeDuration);

struct HapticSettings {
    AudioDeviceSlot devices[kMaxAudioDevices];
    int32_t numDevices;
    int32_t audioDeviceIndex;  // -1 = no device configured
    double audioSampleRate;
    ZoneConfig zones[kMaxZones];
    int32_t numActiveZones;
    int32_t cornerZone[kCornerCount];
    uint8_t advancedMode;
    int32_t guiMode;
    int32_t accentTheme;
    int32_t guiDensity;
    int32_t selectedSim;
    float masterGain;
    EffectProfile effectProfiles[kSimCount];
    char activeProfile[kSimCount][kProfileNameSize];

    // Every default value, including the six per-simulator effect defaults.
    HapticSettings();
};

static_assert(sizeof(AudioDeviceSlot) == 368);
static_assert(sizeof(ZoneConfig) == 48);
static_assert(sizeof(EffectProfile) == 296);
static_assert(sizeof(HapticSettings) == 4080, "the settings block is a fixed 4,080-byte record");
static_assert(std::is_trivially_copyable_v<HapticSettings>);
static_assert(std::is_trivially_copyable_v<EffectProfile>);

// Copies a NUL-terminated text into a fixed character array, truncating at a
// UTF-8 character boundary and always terminating.
void copyText(char* dest, int destSize, const char* text);
template <int N>
void copyText(char (&dest)[N], const char* text) { copyText(dest, N, text); }

// The text of a fixed character array, up to its terminator or its end.
template <size_t N>
std::string_view textOf(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != '\0')
        ++n;
    return std::string_view(field, n);
}

}  // namespace qv
