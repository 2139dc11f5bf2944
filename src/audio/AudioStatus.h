#pragma once
// The audio status that the window and main read, and the latency-test
// hand-over between the latency dialog, main and the latency worker.
//
// Writers: the audio initialisation (main at start-up, then the one audio
// worker that holds the busy token). Readers: any thread. Single values are
// atomics; the device rows are published whole through a sequence lock and
// read as copies, so a reader never sees a row half updated.

#include "audio/AudioDevice.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr int kDeviceStatusRows = 4;

struct DeviceStatusRow {
    int32_t running = 0;
    int32_t channels = 0;
    int32_t isAsio = 0;
    float latencyMs = 0.0f;
    char deviceName[64] = {};
    char hostApi[16] = {};  // the stream's host API ("JACK", "ALSA", ...); empty when unknown
};

struct DeviceStatusTable {
    DeviceStatusRow rows[kDeviceStatusRows];
};

extern std::atomic<int32_t> gAudioReady;        // 1 while output streams run
extern std::atomic<int32_t> gAudioStreamCount;  // streams open; 0 when not ready
// Counts finished audio initialisations (start-up, restarts, recoveries,
// latency tests), raised after gAudioReady is published. A window that asked
// for a restart waits for it to move before it plays through the new streams.
extern std::atomic<int32_t> gAudioInitCount;

// A copy of the rows of the first four streams.
DeviceStatusTable deviceStatus();
void publishDeviceStatus(const DeviceStatusTable& table);

// Why the last audio initialisation found no streams to run.
enum class AudioProblem : int32_t {
    None = 0,
    NoDeviceConfigured = 1,
    DeviceNotFound = 2,   // the saved device is not in the device list
    OpenFailed = 3,       // opening or starting the streams failed
    NotResponding = 4,    // the audio system did not answer in time (a stopped or hung audio server)
    HostUnavailable = 5,  // the audio host could not be started, or ended before it was up
};

// What the window says about missing audio: the problem and the one line
// the console printed for it (without its tag), and for a device that was
// not found its saved name. Published by the audio runtime after every
// initialisation (None when streams run) through a sequence lock; the
// header reads a copy. Any thread.
struct AudioNotice {
    AudioProblem problem = AudioProblem::None;
    char text[240] = {};
    char deviceName[64] = {};
};
AudioNotice audioNotice();
void publishAudioNotice(const AudioNotice& notice);
// A notice from texts, cut at character boundaries to fit.
AudioNotice makeAudioNotice(AudioProblem problem, std::string_view text, std::string_view deviceName = {});

// Latency test: the dialog stores the input device (-1: let the audio layer
// find a loopback input) with its name and raises the request (1, pending);
// main takes it (1 -> 2, compare-exchange) when it starts the worker; the
// worker stores the one-way result in ms (-1 = failed) and its error text,
// and then clears the request (0). A request still pending can be withdrawn
// by its maker (compare-exchange 1 -> 0), so it never starts later.
inline constexpr int32_t kLatencyRequestNone = 0;
inline constexpr int32_t kLatencyRequestPending = 1;
inline constexpr int32_t kLatencyRequestTaken = 2;

extern std::atomic<int32_t> gLatencyInputDevice;
extern std::atomic<int32_t> gLatencyTestRequest;
extern std::atomic<float> gLatencyTestResultMs;

// The name of the requested input as the dialog listed it (empty: no check);
// the test refuses an index that names another device by then. Set before
// the request is raised; setting it also clears the last error text.
void setLatencyInputName(std::string_view name);
std::string latencyInputName();
// Why the last test failed, for the dialog (empty: no reason known, e.g. no
// pulse came back). Published before the request is cleared.
void setLatencyTestError(std::string_view text);
std::string latencyTestError();

// The devices with inputs of the last enumeration, published by the audio
// runtime; the latency dialog reads a copy (it never calls PortAudio).
void publishInputDevices(const std::vector<InputDevice>& devices);
std::vector<InputDevice> inputDevices();
// PortAudio's own list of the last enumeration, published with the devices;
// the device wizard logs a copy.
void publishRawDevices(const RawDeviceList& raw);
RawDeviceList rawDevices();

// Every value back to its start value (tests).
void resetAudioStatus();

}  // namespace qv
