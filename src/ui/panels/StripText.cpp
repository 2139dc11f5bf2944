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

// Appends `text` to `out` (at `length`, within `capacity` with its
// terminator): control characters as blanks, C1 controls and the
// bidirectional embeddings, overrides and isolates left out.
void appendCleaned(char* out, size_t capacity, size_t& length, std::string_view text) {
    for (size_t i = 0; i < text.size() && length + 1 < capacity;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
        if (c < 0x20 || c == 0x7F) {
            out[length++] = ' ';
            ++i;
        } else if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
            i += 2;  // C1
        } else if (c == 0xE2 && ((next(1) == 0x80 && next(2) >= 0xAA && next(2) <= 0xAE) ||
                                 (next(1) == 0x81 && next(2) >= 0xA6 && next(2) <= 0xA9))) {
            i += 3;  // U+202A..U+202E, U+2066..U+2069
        } else {
            // A character is copied whole or not at all.
            const size_t bytes = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length + bytes >= capacity)
                break;
            out[length++] = text[i++];
            // Only continuation bytes belong to it: a control character in
            // their place is the next character, cleaned as such.
            for (size_t k = 1; k < bytes && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; ++k)
                out[length++] = text[i++];
        }
    }
    out[length] = '\0';
}

}  // namespace

std::string_view ShortText::view() const { return std::string_view(text, ::strnlen(text, sizeof(text))); }
std::string_view NoticeText::view() const { return std::string_view(text, ::strnlen(text, sizeof(text))); }

bool hasAudioNotice(const StripStatus& status) {
    return !hasStream(status) && status.notice.problem != AudioProblem::None && status.notice.text[0] != '\0';
}

bool isDeviceMissing(const StripStatus& status) {
    return hasAudioNotice(status) && status.notice.problem == AudioProblem::DeviceNotFound &&
           status.notice.deviceName[0] != '\0';
}

NoticeText audioNoticeText(const StripStatus& status) {
    NoticeText out;
    if (!hasAudioNotice(status))
        return out;
    size_t length = 0;
    appendCleaned(out.text, sizeof(out.text), length, textOf(status.notice.text));
    if (status.notice.problem == AudioProblem::DeviceNotFound)
        appendCleaned(out.text, sizeof(out.text), length, ". Click here to choose a device.");
    return out;
}

StripStatus readStripStatus() {
    StripStatus status;
    status.audioReady = gAudioReady.load();
    status.streamCount = gAudioStreamCount.load();
    status.simConnected = gSimConnected.load();
    status.firstStream = deviceStatus().rows[0];
    status.notice = audioNotice();
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
    if (isDeviceMissing(status))
        return deviceNameText(textOf(status.notice.deviceName));
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
