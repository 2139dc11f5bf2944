#include "settings/ConfigIni.h"

#include "settings/HeldFiles.h"
#include "settings/NumberText.h"
#include "settings/ProfileName.h"

#include <algorithm>

namespace qv {

namespace {

constexpr std::string_view kDeviceSectionPrefix = "[Audio.Device";

// What the reader keeps between lines.
struct ReaderState {
    int device = -1;  // device section 0..3, or -1
    bool inAudioSection = false;
    int32_t legacyChannel[kCornerCount] = {0, 1, 2, 3};
    float legacyGain[kCornerCount] = {1.0f, 1.0f, 1.0f, 1.0f};
    bool zoneLayout = false;  // the file describes the zones itself
};

template <int N>
void setText(char (&field)[N], std::string_view value) {
    const std::string text(value);
    copyText(field, text.c_str());
}

// Integer keys: the leading integer; a value outside int32 leaves the field.
void setInt(int32_t& field, std::string_view value, int32_t low, int32_t high) {
    int32_t parsed = 0;
    if (parseLeadingInt(value, parsed))
        field = std::clamp(parsed, low, high);
}

void setFlag(uint8_t& field, std::string_view value) {
    int32_t parsed = 0;
    if (parseLeadingInt(value, parsed))
        field = parsed != 0 ? 1 : 0;
}

void setFloat(float& field, std::string_view value, float low, float high) {
    float parsed = 0.0f;
    if (parseLeadingFloat(value, parsed))
        field = std::clamp(parsed, low, high);
}

void applyDeviceKey(AudioDeviceSlot& slot, std::string_view key, std::string_view value) {
    if (key == "name")
        setText(slot.name, value);
    else if (key == "api")
        setText(slot.api, value);
    else if (key == "clsid")
        setText(slot.clsid, value);
    else if (key == "paIndex")
        setInt(slot.paIndex, value, -1, kMaxDeviceIndex);
    else if (key == "channels")
        setInt(slot.channels, value, 0, 8);
    else if (key == "bufferSize")
        setInt(slot.bufferSize, value, kMinBufferSize, kMaxBufferSize);
    else if (key == "enabled")
        setFlag(slot.enabled, value);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "zone" + d + "_" + field; false when the key is not a zone key at all.
bool applyZoneKey(HapticSettings& s, ReaderState& state, std::string_view key, std::string_view value) {
    if (key.size() < 7 || key.substr(0, 4) != "zone" || key[4] < '0' || key[4] > '7' || key[5] != '_')
        return false;
    ZoneConfig& zone = s.zones[key[4] - '0'];
    const std::string_view field = key.substr(6);
    if (field == "name") {
        setText(zone.name, value);
        state.zoneLayout = true;
    } else if (field == "channel") {
        setInt(zone.channel, value, -1, 7);
    } else if (field == "device") {
        setInt(zone.device, value, 0, 7);
    } else if (field == "active") {
        setFlag(zone.active, value);
    } else if (field == "gain") {
        setFloat(zone.gain, value, 0.0f, 1.0f);
    }
    return true;
}

void applyGeneralKey(HapticSettings& s, ReaderState& state, std::string_view key, std::string_view value) {
    if (key.size() == 14 && key.substr(0, 13) == "activeProfile" && isDigit(key[13])) {
        const int sim = key[13] - '0';
        if (sim < kSimCount) {
            // A name that would not be a safe file name falls back to the
            // built-in profile.
            if (isValidProfileName(value))
                setText(s.activeProfile[sim], value);
            else
                copyText(s.activeProfile[sim], "default");
        }
        return;
    }
    if (applyZoneKey(s, state, key, value))
        return;
    if (key.size() == 11 && key.substr(0, 10) == "cornerZone" && isDigit(key[10])) {
        const int corner = key[10] - '0';
        if (corner < kCornerCount)
            setInt(s.cornerZone[corner], value, 0, kMaxZones - 1);
        return;
    }
    if (key == "numActiveZones") {
        setInt(s.numActiveZones, value, 1, kMaxZones);
        state.zoneLayout = true;
        return;
    }

    // The remaining keys count only when the value is a valid float. Their
    // integers are then the value's leading integer, like everywhere else:
    // "2.9" is 2, "1e10" is 1, and one outside int32 leaves the field alone.
    float asFloat = 0.0f;
    if (!parseLeadingFloat(value, asFloat))
        return;
    if (key == "audioDeviceIndex") {
        setInt(s.audioDeviceIndex, value, -1, kMaxDeviceIndex);
    } else if (key == "audioSampleRate") {
        double rate = 0.0;
        if (parseLeadingDouble(value, rate))
            s.audioSampleRate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    } else if (key == "chLF") {
        setInt(state.legacyChannel[0], value, 0, 7);
    } else if (key == "chRF") {
        setInt(state.legacyChannel[1], value, 0, 7);
    } else if (key == "chLR") {
        setInt(state.legacyChannel[2], value, 0, 7);
    } else if (key == "chRR") {
        setInt(state.legacyChannel[3], value, 0, 7);
    } else if (key.size() == 7 && key.substr(0, 6) == "chGain" && key[6] >= '0' && key[6] <= '3') {
        state.legacyGain[key[6] - '0'] = std::clamp(asFloat, 0.0f, 1.0f);
    } else if (key == "advancedMode") {
        setFlag(s.advancedMode, value);
    } else if (key == "guiMode") {
        setInt(s.guiMode, value, 0, 1);
    } else if (key == "accentTheme") {
        setInt(s.accentTheme, value, 0, 5);
    } else if (key == "guiDensity") {
        setInt(s.guiDensity, value, 0, 2);
    } else if (key == "selectedSim") {
        setInt(s.selectedSim, value, 0, kSimCount - 1);
    } else if (key == "masterGain") {
        s.masterGain = std::clamp(asFloat, 0.0f, 1.0f);
    }
}

void applyLine(HapticSettings& s, ReaderState& state, std::string_view line) {
    if (line.empty() || line[0] == ';')
        return;
    if (line[0] == '[') {
        state.device = -1;
        state.inAudioSection = line == "[Audio]";
        if (line.size() >= 14 && line.substr(0, kDeviceSectionPrefix.size()) == kDeviceSectionPrefix) {
            const size_t close = line.find(']', kDeviceSectionPrefix.size());
            int32_t n = -1;
            if (close != std::string_view::npos &&
                parseLeadingInt(line.substr(kDeviceSectionPrefix.size(), close - kDeviceSectionPrefix.size()), n) &&
                n >= 0 && n < kMaxAudioDevices)
                state.device = n;
        }
        return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (state.device >= 0)
        applyDeviceKey(s.devices[state.device], key, value);
    else if (state.inAudioSection) {
        if (key == "numDevices")
            setInt(s.numDevices, value, 1, kMaxAudioDevices);
    } else
        applyGeneralKey(s, state, key, value);
}

// Files from before the zone layout name only the corner channels and gains.
void rebuildLegacyZones(HapticSettings& s, const ReaderState& state) {
    for (int z = 0; z < kMaxZones; ++z) {
        ZoneConfig& zone = s.zones[z];
        if (z < kCornerCount) {
            copyText(zone.name, kCornerNames[z]);
            zone.channel = state.legacyChannel[z];
            zone.active = 1;
            zone.gain = state.legacyGain[z];
        } else {
            zone.channel = -1;
            zone.active = 0;
        }
    }
    s.numActiveZones = kCornerCount;
    for (int c = 0; c < kCornerCount; ++c)
        s.cornerZone[c] = c;
}

// A name as written into the file: up to its terminator, without control
// characters, so no name can start a line of its own.
std::string cleanName(const char* text, size_t size) {
    std::string out;
    for (size_t i = 0; i < size && text[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7F)
            out += static_cast<char>(c);
    }
    return out;
}

template <size_t N>
std::string cleanName(const char (&field)[N]) {
    return cleanName(field, N);
}

}  // namespace

void readConfigIniText(HapticSettings& settings, std::string_view text) {
    ReaderState state;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        applyLine(settings, state, line);
    }
    if (!state.zoneLayout)
        rebuildLegacyZones(settings, state);
}

FileReadStatus readConfigIni(HapticSettings& settings, const std::string& path, std::string* error) {
    std::string text;
    const FileReadStatus status = readRegularFile(path, text, kMaxSettingsFileBytes, error);
    if (status == FileReadStatus::kOk)
        readConfigIniText(settings, text);
    return status;
}

std::string configIniText(const HapticSettings& s) {
    std::string out;
    out.reserve(2048);
    auto line = [&out](std::string_view key, const std::string& value) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
    };
    auto num = [](double value) { return formatShortNumber(value); };
    auto integer = [](int64_t value) { return std::to_string(value); };

    out += "[HapticEngine]\n";
    line("audioDeviceIndex", integer(s.audioDeviceIndex));
    line("audioSampleRate", num(s.audioSampleRate));
    out += "\n[Audio]\n";
    line("numDevices", integer(s.numDevices));
    const int devices = std::clamp(s.numDevices, 0, kMaxAudioDevices);
    for (int i = 0; i < devices; ++i) {
        const AudioDeviceSlot& d = s.devices[i];
        out += "\n[Audio.Device" + std::to_string(i) + "]\n";
        line("name", cleanName(d.name));
        line("api", cleanName(d.api));
        line("clsid", cleanName(d.clsid));
        line("paIndex", integer(d.paIndex));
        line("channels", integer(d.channels));
        line("bufferSize", integer(d.bufferSize));
        line("enabled", d.enabled ? "1" : "0");
    }
    out += "\n[Config]\n";
    line("numActiveZones", integer(s.numActiveZones));
    for (int i = 0; i < kMaxZones; ++i) {
        const ZoneConfig& z = s.zones[i];
        const std::string prefix = "zone" + std::to_string(i) + "_";
        line(prefix + "name", cleanName(z.name));
        line(prefix + "channel", integer(z.channel));
        line(prefix + "device", integer(z.device));
        line(prefix + "active", z.active ? "1" : "0");
        line(prefix + "gain", num(z.gain));
    }
    for (int i = 0; i < kCornerCount; ++i)
        line("cornerZone" + std::to_string(i), integer(s.cornerZone[i]));
    line("advancedMode", s.advancedMode ? "1" : "0");
    line("guiMode", integer(s.guiMode));
    line("accentTheme", integer(s.accentTheme));
    line("guiDensity", integer(s.guiDensity));
    line("selectedSim", integer(s.selectedSim));
    line("masterGain", num(s.masterGain));
    for (int i = 0; i < kSimCount; ++i)
        line("activeProfile" + std::to_string(i), cleanName(s.activeProfile[i]));
    return out;
}

bool writeConfigIni(const HapticSettings& settings, const std::string& path, std::string* error) {
    if (isHeldFromWriting(path)) {
        if (error)
            *error = heldFileError(path);
        return false;
    }
    return writeFileAtomically(path, configIniText(settings), error);
}

}  // namespace qv
