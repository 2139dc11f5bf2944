#pragma once
// The audio status that the window and main read, and the latency-test
// hand-over between the latency dialog, main and the latency worker.
//
// Writers: the audio initialisation (main at start-up, then the one audio
// worker that holds the busy token). Readers: any thread. Single values are
// atomics; the device rows are published whole through a sequence lock and
// read as copies, so a reader never sees a row half updated.

#include <atomic>
#include <cstdint>

namespace qv {

inline constexpr int kDeviceStatusRows = 4;

struct DeviceStatusRow {
    int32_t running = 0;
    int32_t channels = 0;
    int32_t isAsio = 0;
    float latencyMs = 0.0f;
    char deviceName[64] = {};
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

// Latency test: the dialog stores the input device (-1: let the audio layer
// find a loopback input) and raises the request; main starts the worker; the
// worker stores the one-way result in ms (-1 = failed) and then clears the
// request.
extern std::atomic<int32_t> gLatencyInputDevice;
extern std::atomic<int32_t> gLatencyTestRequest;
extern std::atomic<float> gLatencyTestResultMs;

// Every value back to its start value (tests).
void resetAudioStatus();

}  // namespace qv
