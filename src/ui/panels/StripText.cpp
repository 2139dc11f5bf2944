#include "ui/panels/StripText.h"

#include "app/AppGlobals.h"
#include "platform/graphics/Utf8.h"
#include "settings/HapticSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qv {

namespace {

constexpr int kDeviceWholeLimit = 13;  // names up to this many characters are shown whole
constexpr int kDeviceCutLength = 12;   // longer ones keep this many, then "."

ShortText make(std::string_view value) {
    ShortText out;
    const size_t n = utf8CutPosition(value, sizeof(out.text) - 1);
    std::memcpy(out.text, value.data(), n);
    out.text[n] = '\0';
    return out;
}

bool hasStream(const StripStatus& status) { return status.audioReady != 0 && status.streamCount >= 1; }

}  // namespace

std::string_view ShortText::view() const { return std::string_view(text, ::strnlen(text, sizeof(text))); }

StripStatus readStripStatus() {
    StripStatus status;
    status.audioReady = gAudioReady.load();
    status.streamCount = gAudioStreamCount.load();
    status.simConnected = gSimConnected.load();
    status.firstStream = deviceStatus().rows[0];
    return status;
}

ShortText deviceNameText(std::string_view name) {
    if (name.empty())
        return make("---");
    if (utf8CharacterCount(name) <= kDeviceWholeLimit)
        return make(name);
    ShortText out = make(name.substr(0, utf8ByteOffset(name, kDeviceCutLength)));
    const size_t n = ::strnlen(out.text, sizeof(out.text));
    if (n + 1 < sizeof(out.text)) {
        out.text[n] = '.';
        out.text[n + 1] = '\0';
    }
    return out;
}

ShortText deviceCellText(const StripStatus& status) {
    if (!hasStream(status))
        return make("---");
    return deviceNameText(textOf(status.firstStream.deviceName));
}

ShortText driverCellText(const StripStatus& status) {
    const std::string_view api = textOf(status.firstStream.hostApi);
    if (!hasStream(status) || api.empty())
        return make("---");
    return make(api);
}

bool hasLatencyValue(const StripStatus& status) {
    const float latency = status.firstStream.latencyMs;
    return hasStream(status) && std::isfinite(latency) && latency > 0.0f;
}

ShortText latencyCellText(const StripStatus& status) {
    if (!hasLatencyValue(status))
        return make("---");
    ShortText out;
    std::snprintf(out.text, sizeof(out.text), "%.1f ms", std::min(status.firstStream.latencyMs, 1e6f));
    return out;
}

ShortText sampleRateText(double sampleRate) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
        return make("SAMPLE --- kHz");
    const long long hz = static_cast<long long>(std::min(sampleRate, 1e9));
    ShortText out;
    std::snprintf(out.text, sizeof(out.text), "SAMPLE %lld kHz", hz / 1000);
    return out;
}

ShortText clockText(int hour, int minute, int second) {
    ShortText out;
    std::snprintf(out.text, sizeof(out.text), "SYS - %02d:%02d:%02d", std::clamp(hour, 0, 23),
                  std::clamp(minute, 0, 59), std::clamp(second, 0, 60));
    return out;
}

}  // namespace qv
