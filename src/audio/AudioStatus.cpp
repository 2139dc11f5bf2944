#include "audio/AudioStatus.h"

#include "platform/SeqLock.h"

#include <algorithm>
#include <cstring>
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

SeqLock<AudioNotice>& noticeLock() {
    static SeqLock<AudioNotice> notice;
    return notice;
}

std::mutex& statusWriter() {
    static std::mutex mutex;
    return mutex;
}

// The latency texts and the device lists published for the dialogs.
struct LatencyTexts {
    std::mutex mutex;
    std::string inputName;
    std::string error;
    std::vector<InputDevice> inputs;
    RawDeviceList raw;
};

// Never destroyed: a latency worker may still publish while the program ends.
LatencyTexts& latencyTexts() {
    static auto* texts = new LatencyTexts();
    return *texts;
}

}  // namespace

void setLatencyInputName(std::string_view name) {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.inputName.assign(name);
    t.error.clear();
}

std::string latencyInputName() {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.inputName;
}

void setLatencyTestError(std::string_view text) {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.error.assign(text);
}

std::string latencyTestError() {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.error;
}

void publishInputDevices(const std::vector<InputDevice>& devices) {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.inputs = devices;
}

std::vector<InputDevice> inputDevices() {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.inputs;
}

void publishRawDevices(const RawDeviceList& raw) {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.raw = raw;
}

RawDeviceList rawDevices() {
    LatencyTexts& t = latencyTexts();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.raw;
}

DeviceStatusTable deviceStatus() { return statusTable().load(); }

void publishDeviceStatus(const DeviceStatusTable& table) {
    std::lock_guard<std::mutex> lock(statusWriter());
    statusTable().store(table);
}

AudioNotice audioNotice() { return noticeLock().load(); }

void publishAudioNotice(const AudioNotice& notice) {
    std::lock_guard<std::mutex> lock(statusWriter());
    noticeLock().store(notice);
}

namespace {

template <size_t N>
void copyCut(char (&to)[N], std::string_view text) {
    // Cut before a UTF-8 continuation byte would be split off its lead.
    size_t n = std::min(text.size(), N - 1);
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    if (n > 0)
        std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

}  // namespace

AudioNotice makeAudioNotice(AudioProblem problem, std::string_view text, std::string_view deviceName) {
    AudioNotice notice;
    notice.problem = problem;
    copyCut(notice.text, text);
    copyCut(notice.deviceName, deviceName);
    return notice;
}

void resetAudioStatus() {
    gAudioReady = 0;
    gAudioStreamCount = 0;
    gLatencyInputDevice = -1;
    gLatencyTestRequest = 0;
    gLatencyTestResultMs = -1.0f;
    setLatencyInputName({});
    publishInputDevices({});
    publishRawDevices({});
    publishDeviceStatus(DeviceStatusTable{});
    publishAudioNotice(AudioNotice{});
}

}  // namespace qv
