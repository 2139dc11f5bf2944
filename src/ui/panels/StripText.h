#pragma once
// The texts of the header's information strip and of the status bar, as pure
// functions of the published audio status, the settings and the time of day.
// They return fixed-size values, so a frame that draws them allocates
// nothing. Any thread; the painters call them on the GUI thread.

#include "audio/AudioStatus.h"

#include <string_view>

namespace qv {

// A short text in a fixed buffer, always terminated.
struct ShortText {
    char text[64] = {};
    std::string_view view() const;
};

// The header's line on why audio is missing, in a fixed buffer.
struct NoticeText {
    char text[320] = {};
    std::string_view view() const;
};

// What the strip shows, copied from the values other threads publish.
struct StripStatus {
    int32_t audioReady = 0;
    int32_t streamCount = 0;
    int32_t simConnected = 0;
    DeviceStatusRow firstStream;  // row 0 of the device status
    AudioNotice notice;           // why the last audio initialisation found no streams
};

// Reads gAudioReady, gAudioStreamCount, row 0 of deviceStatus(),
// audioNotice() and gSimConnected (each a race-free published copy).
StripStatus readStripStatus();

// True while no stream plays and the audio side said why.
bool hasAudioNotice(const StripStatus& status);
// The notice line: the console's line for the problem; for a saved device
// that was not found it also points to the wizard. Control characters become
// blanks, bidirectional controls are dropped, the text is cut at a character
// boundary. Empty without a notice.
NoticeText audioNoticeText(const StripStatus& status);
// True when DEVICE shows the saved name of a device that was not found
// (drawn greyed).
bool isDeviceMissing(const StripStatus& status);

// A device name as the DEVICE cell shows it: names of at most 13 characters
// whole, longer ones as their first 12 characters and "."; characters are
// UTF-8 sequences and are never split. "---" for an empty name.
ShortText deviceNameText(std::string_view name);

// DEVICE: the first stream's device name (deviceNameText), or "---" unless
// audio is ready with at least one stream and a name; without streams, the
// saved name of a device that was not found.
ShortText deviceCellText(const StripStatus& status);
// DRIVER: the first stream's host API ("JACK", "ALSA", ...), or "---" when
// audio is not ready, no stream is open or the name is unknown.
ShortText driverCellText(const StripStatus& status);
// LATENCY: "%.1f ms" of the first stream's latency when audio is ready with a
// stream and the latency is a positive finite number, else "---".
ShortText latencyCellText(const StripStatus& status);
// True when the latency cell shows a value (drawn in the accent colour).
bool hasLatencyValue(const StripStatus& status);

// "SAMPLE 48 kHz": the integer kHz of the rate in integer arithmetic (44100
// reads 44). A rate that is not finite or not positive reads "SAMPLE --- kHz".
ShortText sampleRateText(double sampleRate);

// "SYS - 09:05:07"; fields outside their ranges are clamped.
ShortText clockText(int hour, int minute, int second);

}  // namespace qv
