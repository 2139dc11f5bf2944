#pragma once
// A PortAudio of the test's own behind the IPortAudio seam: a scripted device
// list, format checks and opens that fail where the test says, streams whose
// callbacks the test calls (or a thread of the fake calls, like a device),
// and calls that block until the test releases them (a dead audio server).
//
// Thread-safe: the engine makes some calls on helper threads. Device and
// host-API records stay valid until the fake is destroyed. A test that lets
// a call block must release() it before the fake goes away.

#include "audio/AsioRegistry.h"
#include "audio/PortAudioApi.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

struct FakeDevice {
    std::string name;
    int hostApiType = paALSA;
    int maxOutputChannels = 2;
    int maxInputChannels = 0;
    double defaultLowOutputLatency = 0.01;  // seconds
    double defaultSampleRate = 48000.0;
    std::vector<double> rates;          // rates the format check accepts; empty: any
    int formatMaxChannels = 0;          // the format check refuses more channels; 0: maxOutputChannels
    int openMaxChannels = 0;            // opening fails above this count; 0: maxOutputChannels
    bool openFails = false;             // opening fails at every channel count
    PaError openError = paInvalidChannelCount;
    PaError startError = paNoError;
    bool hasStreamInfo = true;
    double streamInfoRate = -1.0;       // -1: the opened rate
    double streamInfoLatency = 0.0107;  // seconds
    bool missingInfo = false;           // deviceInfo returns null for it
    bool missingHostApi = false;        // its host API has no info
    double defaultLowInputLatency = 0.012;  // seconds
    bool duplexNeedsTwoChannels = false;    // duplex streams with one output channel are refused
    PaError duplexOpenError = paNoError;    // opening a duplex stream on it fails with this
    PaError duplexStartError = paNoError;   // starting one fails with this
};

struct FakeStream {
    int device = -1;
    int channels = 0;
    double rate = 0.0;
    unsigned long frames = 0;
    double suggestedLatency = 0.0;
    int inputDevice = -1;  // duplex streams only
    int inputChannels = 0;
    double inputSuggestedLatency = 0.0;
    PaStreamCallback* callback = nullptr;
    void* userData = nullptr;
    PaStreamInfo info{};
    bool started = false;
    bool closed = false;
};

class FakePortAudio final : public IPortAudio {
public:
    FakePortAudio() = default;
    ~FakePortAudio() override;

    void addDevice(const FakeDevice& device);
    // Replaces the device list (the next initialize() takes effect as well).
    void clearDevices();

    PaError initializeResult = paNoError;
    // When set, started streams are called back by a thread of the fake with
    // callbackFrames frames per call until they stop, like a device.
    bool runCallbacks = false;
    unsigned long callbackFrames = 256;

    // Every call as a line: "initialize", "terminate", "format 0 8ch 48000",
    // "open 0 8ch 48000 256 latency=0.005333", "start 0", "stop 0", "close 0";
    // duplex format checks and opens end in " in 3 1ch" (input device, channels).
    std::vector<std::string> calls() const;
    int countCalls(const std::string& prefix) const;
    void clearCalls();

    // The next call named name ("initialize", "terminate", "open", "start",
    // "stop" or "close") blocks until release().
    void blockNext(const std::string& name);
    bool waitUntilBlocked(int timeoutMs);
    void release();
    // Waits until the blocked call has returned after release().
    bool waitUntilReturned(int timeoutMs);
    // A call blocked (or released) that has not returned yet.
    bool hasPendingCall() const;

    int openStreamCount() const;
    int streamCount() const;
    FakeStream stream(int index) const;
    // Calls the callback of stream index with an interleaved output of
    // frames x channels floats; returns the callback's result.
    int callBack(int index, unsigned long frames, PaStreamCallbackFlags flags, std::vector<float>& output);
    // The same for a duplex stream, with an interleaved input of frames x
    // input channels floats.
    int callBackDuplex(int index, unsigned long frames, const std::vector<float>& input, std::vector<float>& output);
    // Callbacks made by the fake's device threads so far.
    long deviceCallbacks() const { return m_deviceCallbacks.load(); }

    // IPortAudio
    PaError initialize() override;
    PaError terminate() override;
    const char* errorText(PaError code) override;
    PaDeviceIndex deviceCount() override;
    const PaDeviceInfo* deviceInfo(PaDeviceIndex device) override;
    const PaHostApiInfo* hostApiInfo(PaHostApiIndex hostApi) override;
    PaError isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                              double sampleRate) override;
    PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                       double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags,
                       PaStreamCallback* callback, void* userData) override;
    PaError startStream(PaStream* stream) override;
    PaError stopStream(PaStream* stream) override;
    PaError closeStream(PaStream* stream) override;
    const PaStreamInfo* streamInfo(PaStream* stream) override;
    int serverBufferFrames(PaHostApiTypeId type) override { return type == paJACK ? jackServerFrames.load() : 0; }
    void setOutputPortNames(PaDeviceIndex device, const std::vector<std::string>& names) override;

    // The JACK server's buffer size the fake reports (0: none).
    std::atomic<int> jackServerFrames{0};
    // The port names the last setOutputPortNames calls left, by device.
    std::map<int, std::vector<std::string>> portNames() const;

private:
    struct StreamRecord {
        FakeStream stream;
        std::thread device;
        std::atomic<bool> stop{false};
    };
    // Marks the blocked call as returned when it leaves.
    struct ReturnMark {
        FakePortAudio& fake;
        bool blocked;
        ~ReturnMark();
    };
    void record(const std::string& line);
    bool maybeBlock(const std::string& name);
    int indexOf(PaStream* stream) const;
    void stopDeviceThread(StreamRecord& record);
    // A duplex stream's input parameters against the device list; m_mutex held.
    PaError checkInput(const PaStreamParameters* input, const FakeDevice& outputDevice,
                       const PaStreamParameters& output) const;

    mutable std::mutex m_mutex;
    std::map<int, std::vector<std::string>> m_portNames;
    std::condition_variable m_changed;
    std::vector<FakeDevice> m_devices;
    std::deque<std::string> m_names;
    std::deque<PaDeviceInfo> m_infos;
    std::deque<PaHostApiInfo> m_hostApis;
    std::map<int, int> m_hostApiOfType;
    std::vector<std::string> m_calls;
    std::deque<StreamRecord> m_streams;
    std::string m_blockName;
    bool m_blocked = false;
    bool m_released = false;
    bool m_returned = false;
    std::atomic<long> m_deviceCallbacks{0};
};

// An ASIO driver registry with the test's entries.
class FakeAsioRegistry final : public IAsioRegistry {
public:
    // Opens the view (empty until keys are added).
    void openView(AsioRegistryView view) { m_views[view]; }
    void addKey(AsioRegistryView view, const std::string& name, const std::string& clsid) {
        m_views[view].push_back({name, clsid});
    }
    bool readView(AsioRegistryView view, std::vector<AsioRegistryKey>& keys) override {
        keys.clear();
        const auto found = m_views.find(view);
        if (found == m_views.end())
            return false;
        keys = found->second;
        return true;
    }

private:
    std::map<AsioRegistryView, std::vector<AsioRegistryKey>> m_views;
};

}  // namespace qv::test
