// libFuzzer target: the INI reader on arbitrary text.
//
// Beyond "no crash", every value the reader stores must be in its range, and
// what the writer makes of the result must read back to the same text.

#include "settings/ConfigIni.h"
#include "settings/ProfileName.h"
#include "support/FuzzSampling.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace qv;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkRanges(const HapticSettings& s) {
    require(s.numDevices >= 1 && s.numDevices <= kMaxAudioDevices);
    require(s.audioDeviceIndex >= -1 && s.audioDeviceIndex <= kMaxDeviceIndex);
    require(std::isfinite(s.audioSampleRate) && s.audioSampleRate >= kMinSampleRate &&
            s.audioSampleRate <= kMaxSampleRate);
    for (const AudioDeviceSlot& d : s.devices) {
        require(d.channels >= 0 && d.channels <= 8);
        require(d.paIndex >= -1 && d.paIndex <= kMaxDeviceIndex);
        require(d.bufferSize >= kMinBufferSize && d.bufferSize <= kMaxBufferSize);
        require(d.enabled <= 1);
        require(d.name[sizeof d.name - 1] == '\0' && d.api[sizeof d.api - 1] == '\0' &&
                d.clsid[sizeof d.clsid - 1] == '\0');
    }
    for (const ZoneConfig& z : s.zones) {
        require(z.channel >= -1 && z.channel <= 7);
        require(z.device >= 0 && z.device <= 7);
        require(z.active <= 1);
        require(std::isfinite(z.gain) && z.gain >= 0.0f && z.gain <= 1.0f);
    }
    require(s.numActiveZones >= 1 && s.numActiveZones <= kMaxZones);
    for (int32_t zone : s.cornerZone)
        require(zone >= 0 && zone < kMaxZones);
    require(s.advancedMode <= 1);
    require(s.guiMode >= 0 && s.guiMode <= 1);
    require(s.accentTheme >= 0 && s.accentTheme <= 5);
    require(s.guiDensity >= 0 && s.guiDensity <= 2);
    require(s.selectedSim >= 0 && s.selectedSim < kSimCount);
    require(std::isfinite(s.masterGain) && s.masterGain >= 0.0f && s.masterGain <= 1.0f);
    for (const auto& name : s.activeProfile)
        require(isValidProfileName(textOf(name)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Every input starts from the defaults; building them once and copying
    // them costs far less than constructing them for each input.
    static const HapticSettings defaults;
    static HapticSettings settings;
    settings = defaults;
    readConfigIniText(settings, text);
    checkRanges(settings);

    // Writing and re-reading costs several times the reading: one input in
    // eight checks the round trip.
    if (!fuzz::isSampledInput(data, size, 8))
        return 0;
    const std::string written = configIniText(settings);
    static HapticSettings again;
    again = defaults;
    readConfigIniText(again, written);
    require(configIniText(again) == written);
    return 0;
}
