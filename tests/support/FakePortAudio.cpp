#include "support/FakePortAudio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace qv::test {
namespace {

const char* portAudioHostApiName(int type) {
    switch (type) {
    case paDirectSound: return "Windows DirectSound";
    case paMME: return "MME";
    case paASIO: return "ASIO";
    case paWDMKS: return "Windows WDM-KS";
    case paWASAPI: return "Windows WASAPI";
    case paALSA: return "ALSA";
    case paJACK: return "JACK Audio Connection Kit";
    case paOSS: return "OSS";
    default: return "Other";
    }
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string inputText(const PaStreamParameters* input) {
    if (!input)
        return "";
    return " in " + std::to_string(input->device) + " " + std::to_string(input->channelCount) + "ch";
}

}  // namespace

PaError FakePortAudio::checkInput(const PaStreamParameters* input, const FakeDevice& outputDevice,
                                  const PaStreamParameters& output) const {
    if (!input)
        return paNoError;
    if (input->device < 0 || input->device >= static_cast<int>(m_devices.size()))
        return paInvalidDevice;
    const FakeDevice& in = m_devices[static_cast<size_t>(input->device)];
    if (input->channelCount < 1 || input->channelCount > in.maxInputChannels)
        return paInvalidChannelCount;
    if (outputDevice.duplexNeedsTwoChannels && output.channelCount < 2)
        return paInvalidChannelCount;
    return paNoError;
}

FakePortAudio::~FakePortAudio() {
    for (StreamRecord& record : m_streams)
        stopDeviceThread(record);
}

void FakePortAudio::addDevice(const FakeDevice& device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(device);
    m_names.push_back(device.name);
    auto found = m_hostApiOfType.find(device.hostApiType);
    if (found == m_hostApiOfType.end()) {
        PaHostApiInfo api{};
        api.structVersion = 1;
        api.type = static_cast<PaHostApiTypeId>(device.hostApiType);
        api.name = portAudioHostApiName(device.hostApiType);
        api.deviceCount = 0;
        api.defaultInputDevice = paNoDevice;
        api.defaultOutputDevice = paNoDevice;
        m_hostApis.push_back(api);
        found = m_hostApiOfType.emplace(device.hostApiType, static_cast<int>(m_hostApis.size()) - 1).first;
    }
    m_hostApis[static_cast<size_t>(found->second)].deviceCount++;
    PaDeviceInfo info{};
    info.structVersion = 2;
    info.name = m_names.back().c_str();
    info.hostApi = device.missingHostApi ? 99 : found->second;
    info.maxInputChannels = device.maxInputChannels;
    info.maxOutputChannels = device.maxOutputChannels;
    info.defaultLowOutputLatency = device.defaultLowOutputLatency;
    info.defaultHighOutputLatency = device.defaultLowOutputLatency * 4;
    info.defaultSampleRate = device.defaultSampleRate;
    info.defaultLowInputLatency = device.defaultLowInputLatency;
    info.defaultHighInputLatency = device.defaultLowInputLatency * 4;
    m_infos.push_back(info);
}

void FakePortAudio::clearDevices() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.clear();
    m_names.clear();
    m_infos.clear();
    m_hostApis.clear();
    m_hostApiOfType.clear();
}

std::vector<std::string> FakePortAudio::calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

int FakePortAudio::countCalls(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

void FakePortAudio::clearCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

void FakePortAudio::record(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(line);
}

void FakePortAudio::blockNext(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blockName = name;
    m_blocked = false;
    m_released = false;
    m_returned = false;
}

bool FakePortAudio::waitUntilBlocked(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_blocked; });
}

void FakePortAudio::release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
}

bool FakePortAudio::waitUntilReturned(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_returned; });
}

bool FakePortAudio::hasPendingCall() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocked && !m_returned;
}

bool FakePortAudio::maybeBlock(const std::string& name) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_blockName != name)
        return false;
    m_blockName.clear();
    m_blocked = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_released; });
    return true;
}

FakePortAudio::ReturnMark::~ReturnMark() {
    if (!blocked)
        return;
    std::lock_guard<std::mutex> lock(fake.m_mutex);
    fake.m_returned = true;
    fake.m_changed.notify_all();
}

int FakePortAudio::indexOf(PaStream* stream) const {
    for (size_t i = 0; i < m_streams.size(); ++i) {
        if (static_cast<const void*>(&m_streams[i]) == stream)
            return static_cast<int>(i);
    }
    return -1;
}

void FakePortAudio::stopDeviceThread(StreamRecord& record) {
    record.stop = true;
    if (record.device.joinable())
        record.device.join();
}

int FakePortAudio::openStreamCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(
        std::count_if(m_streams.begin(), m_streams.end(), [](const StreamRecord& r) { return !r.stream.closed; }));
}

int FakePortAudio::streamCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_streams.size());
}

FakeStream FakePortAudio::stream(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streams.at(static_cast<size_t>(index)).stream;
}

int FakePortAudio::callBackDuplex(int index, unsigned long frames, const std::vector<float>& input,
                                  std::vector<float>& output) {
    FakeStream s = stream(index);
    output.assign(frames * static_cast<unsigned long>(s.channels), 0.5f);
    return s.callback(input.data(), output.data(), frames, nullptr, 0, s.userData);
}

int FakePortAudio::callBack(int index, unsigned long frames, PaStreamCallbackFlags flags,
                            std::vector<float>& output) {
    FakeStream s = stream(index);
    output.assign(frames * static_cast<unsigned long>(s.channels), 0.5f);
    return s.callback(nullptr, output.data(), frames, nullptr, flags, s.userData);
}

// --- IPortAudio -------------------------------------------------------------

PaError FakePortAudio::initialize() {
    record("initialize");
    const ReturnMark mark{*this, maybeBlock("initialize")};
    std::lock_guard<std::mutex> lock(m_mutex);
    return initializeResult;
}

PaError FakePortAudio::terminate() {
    record("terminate");
    const ReturnMark mark{*this, maybeBlock("terminate")};
    for (StreamRecord& r : m_streams)
        stopDeviceThread(r);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (StreamRecord& r : m_streams)
        r.stream.closed = true;
    return paNoError;
}

const char* FakePortAudio::errorText(PaError code) { return Pa_GetErrorText(code); }

PaDeviceIndex FakePortAudio::deviceCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<PaDeviceIndex>(m_infos.size());
}

const PaDeviceInfo* FakePortAudio::deviceInfo(PaDeviceIndex device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (device < 0 || device >= static_cast<PaDeviceIndex>(m_infos.size()) ||
        m_devices[static_cast<size_t>(device)].missingInfo)
        return nullptr;
    return &m_infos[static_cast<size_t>(device)];
}

const PaHostApiInfo* FakePortAudio::hostApiInfo(PaHostApiIndex hostApi) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (hostApi < 0 || hostApi >= static_cast<PaHostApiIndex>(m_hostApis.size()))
        return nullptr;
    return &m_hostApis[static_cast<size_t>(hostApi)];
}

PaError FakePortAudio::isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                                         double sampleRate) {
    record("format " + std::to_string(output->device) + " " + std::to_string(output->channelCount) + "ch " +
           number(sampleRate) + inputText(input));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (output->device < 0 || output->device >= static_cast<int>(m_devices.size()))
        return paInvalidDevice;
    const FakeDevice& d = m_devices[static_cast<size_t>(output->device)];
    if (const PaError error = checkInput(input, d, *output); error != paNoError)
        return error;
    const int maxChannels = d.formatMaxChannels > 0 ? d.formatMaxChannels : d.maxOutputChannels;
    if (output->channelCount < 1 || output->channelCount > maxChannels)
        return paInvalidChannelCount;
    if (!d.rates.empty() && std::find(d.rates.begin(), d.rates.end(), sampleRate) == d.rates.end())
        return paInvalidSampleRate;
    return paFormatIsSupported;
}

PaError FakePortAudio::openStream(PaStream** stream, const PaStreamParameters* input,
                                  const PaStreamParameters* output, double sampleRate,
                                  unsigned long framesPerBuffer, PaStreamFlags flags, PaStreamCallback* callback,
                                  void* userData) {
    (void)flags;
    char latency[32];
    std::snprintf(latency, sizeof latency, "%.6f", output->suggestedLatency);
    record("open " + std::to_string(output->device) + " " + std::to_string(output->channelCount) + "ch " +
           number(sampleRate) + " " + std::to_string(framesPerBuffer) + " latency=" + latency + inputText(input));
    const ReturnMark mark{*this, maybeBlock("open")};
    std::lock_guard<std::mutex> lock(m_mutex);
    if (output->device < 0 || output->device >= static_cast<int>(m_devices.size()))
        return paInvalidDevice;
    const FakeDevice& d = m_devices[static_cast<size_t>(output->device)];
    if (const PaError error = checkInput(input, d, *output); error != paNoError)
        return error;
    const int maxChannels = d.openMaxChannels > 0 ? d.openMaxChannels : d.maxOutputChannels;
    if (d.openFails || output->channelCount > maxChannels)
        return d.openError;
    if (input && d.duplexOpenError != paNoError)
        return d.duplexOpenError;
    StreamRecord& r = m_streams.emplace_back();
    r.stream.device = output->device;
    r.stream.channels = output->channelCount;
    r.stream.rate = sampleRate;
    r.stream.frames = framesPerBuffer;
    r.stream.suggestedLatency = output->suggestedLatency;
    if (input) {
        r.stream.inputDevice = input->device;
        r.stream.inputChannels = input->channelCount;
        r.stream.inputSuggestedLatency = input->suggestedLatency;
    }
    r.stream.callback = callback;
    r.stream.userData = userData;
    r.stream.info.structVersion = 1;
    r.stream.info.outputLatency = d.streamInfoLatency;
    r.stream.info.sampleRate = d.streamInfoRate < 0 ? sampleRate : d.streamInfoRate;
    *stream = &r;
    return paNoError;
}

PaError FakePortAudio::startStream(PaStream* stream) {
    int index;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = indexOf(stream);
    }
    record("start " + std::to_string(index));
    const ReturnMark mark{*this, maybeBlock("start")};
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0)
        return paBadStreamPtr;
    StreamRecord& r = m_streams[static_cast<size_t>(index)];
    const FakeDevice& device = m_devices[static_cast<size_t>(r.stream.device)];
    const PaError error = r.stream.inputDevice >= 0 && device.duplexStartError != paNoError ? device.duplexStartError
                                                                                              : device.startError;
    if (error != paNoError)
        return error;
    r.stream.started = true;
    if (runCallbacks) {
        r.stop = false;
        const FakeStream s = r.stream;
        const unsigned long frames = callbackFrames;
        r.device = std::thread([this, &r, s, frames] {
            std::vector<float> out(frames * static_cast<unsigned long>(s.channels));
            while (!r.stop.load()) {
                ++m_deviceCallbacks;
                if (s.callback(nullptr, out.data(), frames, nullptr, 0, s.userData) != paContinue)
                    break;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    return paNoError;
}

PaError FakePortAudio::stopStream(PaStream* stream) {
    int index;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = indexOf(stream);
    }
    record("stop " + std::to_string(index));
    const ReturnMark mark{*this, maybeBlock("stop")};
    if (index < 0)
        return paBadStreamPtr;
    stopDeviceThread(m_streams[static_cast<size_t>(index)]);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streams[static_cast<size_t>(index)].stream.started = false;
    return paNoError;
}

PaError FakePortAudio::closeStream(PaStream* stream) {
    int index;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = indexOf(stream);
    }
    record("close " + std::to_string(index));
    const ReturnMark mark{*this, maybeBlock("close")};
    if (index < 0)
        return paBadStreamPtr;
    stopDeviceThread(m_streams[static_cast<size_t>(index)]);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streams[static_cast<size_t>(index)].stream.closed = true;
    return paNoError;
}

void FakePortAudio::setOutputPortNames(PaDeviceIndex device, const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (device < 0)
        m_portNames.clear();
    else
        m_portNames[device] = names;
}

std::map<int, std::vector<std::string>> FakePortAudio::portNames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_portNames;
}

const PaStreamInfo* FakePortAudio::streamInfo(PaStream* stream) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int index = indexOf(stream);
    if (index < 0)
        return nullptr;
    const StreamRecord& r = m_streams[static_cast<size_t>(index)];
    if (!m_devices[static_cast<size_t>(r.stream.device)].hasStreamInfo)
        return nullptr;
    return &r.stream.info;
}

}  // namespace qv::test
