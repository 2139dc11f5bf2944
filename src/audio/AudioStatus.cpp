#include "audio/AudioStatus.h"

#include "platform/SeqLock.h"

#include <mutex>

namespace qv {

std::atomic<int32_t> gAudioReady{0};
std::atomic<int32_t> gAudioStreamCount{0};
std::atomic<int32_t> gAudioInitCount{0};
std::atomic<int32_t> gLatencyInputDevice{-1};
std::atomic<int32_t> gLatencyTestRequest{0};
std::atomic<float> gLatencyTestResultMs{-1.0f};

namespace {

SeqLock<DeviceStatusTable>& statusTable() {
    static SeqLock<DeviceStatusTable> table;
    return table;
}

std::mutex& statusWriter() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

DeviceStatusTable deviceStatus() { return statusTable().load(); }

void publishDeviceStatus(const DeviceStatusTable& table) {
    std::lock_guard<std::mutex> lock(statusWriter());
    statusTable().store(table);
}

void resetAudioStatus() {
    gAudioReady = 0;
    gAudioStreamCount = 0;
    gLatencyInputDevice = -1;
    gLatencyTestRequest = 0;
    gLatencyTestResultMs = -1.0f;
    publishDeviceStatus(DeviceStatusTable{});
}

}  // namespace qv
