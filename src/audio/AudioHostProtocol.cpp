#include "audio/AudioHostProtocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {
namespace {

class Writer {
public:
    void u32(uint32_t v) { m_out.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v) { m_out.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void text(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        m_out.append(s);
    }
    size_t size() const { return m_out.size(); }
    void cut(size_t size) { m_out.resize(size); }
    std::string& bytes() { return m_out; }

private:
    std::string m_out;
};

class Reader {
public:
    Reader(const void* data, size_t size) : m_data(static_cast<const char*>(data)), m_size(size) {}
    bool u32(uint32_t& v) { return raw(&v, sizeof v); }
    bool i32(int32_t& v) {
        uint32_t u = 0;
        if (!u32(u))
            return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool f64(double& v) { return raw(&v, sizeof v); }
    bool text(std::string& s) {
        uint32_t n = 0;
        if (!u32(n) || n > m_size - m_at)
            return false;
        s.assign(m_data + m_at, n);
        m_at += n;
        return true;
    }
    bool atEnd() const { return m_at == m_size; }

private:
    bool raw(void* out, size_t n) {
        if (n > m_size - m_at)
            return false;
        std::memcpy(out, m_data + m_at, n);
        m_at += n;
        return true;
    }
    const char* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// More variants than any host lists for one device; guards the decoder.
constexpr uint32_t kMaxVariants = 64;
// More frames than any audio server runs a period with.
constexpr int32_t kMaxServerFrames = 1 << 20;

// Writes a count and then the items, stopping before the first one that would
// take the message past the size limit; the count says how many made it.
template <class T, class WriteOne>
void writeCappedList(Writer& w, const std::vector<T>& items, WriteOne writeOne) {
    const size_t countAt = w.size();
    w.u32(0);
    uint32_t written = 0;
    for (const T& item : items) {
        const size_t before = w.size();
        writeOne(item);
        if (w.size() > kAudioHostMaxMessage) {
            w.cut(before);
            break;
        }
        ++written;
    }
    std::memcpy(w.bytes().data() + countAt, &written, sizeof written);
}

// Reads count items onto the end of items; false if one of them is malformed
// or anything follows the last.
template <class T, class ReadOne>
bool readListToEnd(Reader& r, uint32_t count, std::vector<T>& items, ReadOne readOne) {
    for (uint32_t n = 0; n < count; ++n) {
        T item;
        if (!readOne(item))
            return false;
        items.push_back(std::move(item));
    }
    return r.atEnd();
}

}  // namespace

std::string encodeDeviceList(const std::vector<PhysicalDevice>& devices) {
    Writer w;
    w.u32(static_cast<uint32_t>(AudioHostMessageKind::Devices));
    writeCappedList(w, devices, [&w](const PhysicalDevice& d) {
        w.text(d.hardwareName);
        w.i32(d.selectedApi);
        w.i32(d.maxChannels);
        w.i32(d.bufferSize);
        w.u32((d.enabled ? 1u : 0u) | (d.suitable ? 2u : 0u));
        w.u32(static_cast<uint32_t>(std::min<size_t>(d.apis.size(), kMaxVariants)));
        for (size_t i = 0; i < d.apis.size() && i < kMaxVariants; ++i) {
            const DeviceInfo& v = d.apis[i];
            w.i32(v.paIndex);
            w.text(v.hostApiName);
            w.i32(v.hostApiType);
            w.i32(v.maxOutputChannels);
            w.f64(v.defaultLowOutputLatencyMs);
            w.text(v.clsid);
            w.u32(v.asioFlag ? 1u : 0u);
            w.i32(v.serverBufferFrames);
            w.f64(v.serverLatencyMs);
        }
    });
    return std::move(w.bytes());
}

bool decodeDeviceList(const void* data, size_t size, std::vector<PhysicalDevice>& devices) {
    devices.clear();
    Reader r(data, size);
    uint32_t kind = 0, count = 0;
    if (!r.u32(kind) || kind != static_cast<uint32_t>(AudioHostMessageKind::Devices) || !r.u32(count))
        return false;
    const bool ok = readListToEnd(r, count, devices, [&r](PhysicalDevice& d) {
        uint32_t flags = 0, variants = 0;
        if (!r.text(d.hardwareName) || !r.i32(d.selectedApi) || !r.i32(d.maxChannels) || !r.i32(d.bufferSize) ||
            !r.u32(flags) || flags > 3u || !r.u32(variants) || variants > kMaxVariants)
            return false;
        d.enabled = (flags & 1u) != 0;
        d.suitable = (flags & 2u) != 0;
        for (uint32_t i = 0; i < variants; ++i) {
            DeviceInfo v;
            uint32_t asio = 0;
            if (!r.i32(v.paIndex) || !r.text(v.hostApiName) || !r.i32(v.hostApiType) || !r.i32(v.maxOutputChannels) ||
                !r.f64(v.defaultLowOutputLatencyMs) || !r.text(v.clsid) || !r.u32(asio) || asio > 1u ||
                !r.i32(v.serverBufferFrames) || v.serverBufferFrames < 0 || v.serverBufferFrames > kMaxServerFrames ||
                !r.f64(v.serverLatencyMs) || !std::isfinite(v.serverLatencyMs) || v.serverLatencyMs < 0.0)
                return false;
            v.asioFlag = asio != 0;
            d.apis.push_back(std::move(v));
        }
        return true;
    });
    if (!ok)
        devices.clear();
    return ok;
}

std::string encodeInputList(const std::vector<InputDevice>& inputs) {
    Writer w;
    w.u32(static_cast<uint32_t>(AudioHostMessageKind::Inputs));
    writeCappedList(w, inputs, [&w](const InputDevice& d) {
        w.i32(d.paIndex);
        w.text(d.name);
        w.text(d.hostApiName);
        w.i32(d.inputChannels);
    });
    return std::move(w.bytes());
}

bool decodeInputList(const void* data, size_t size, std::vector<InputDevice>& inputs) {
    inputs.clear();
    Reader r(data, size);
    uint32_t kind = 0, count = 0;
    if (!r.u32(kind) || kind != static_cast<uint32_t>(AudioHostMessageKind::Inputs) || !r.u32(count))
        return false;
    const bool ok = readListToEnd(r, count, inputs, [&r](InputDevice& d) {
        return r.i32(d.paIndex) && r.text(d.name) && r.text(d.hostApiName) && r.i32(d.inputChannels);
    });
    if (!ok)
        inputs.clear();
    return ok;
}

std::string encodeRawDeviceList(const RawDeviceList& raw) {
    Writer w;
    w.u32(static_cast<uint32_t>(AudioHostMessageKind::RawDevices));
    w.i32(raw.count);
    w.text(raw.errorText);
    writeCappedList(w, raw.devices, [&w](const RawDeviceEntry& d) {
        w.u32(d.present ? 1u : 0u);
        w.text(d.name);
        w.text(d.hostApiName);
        w.i32(d.hostApiType);
        w.i32(d.maxInputChannels);
        w.i32(d.maxOutputChannels);
        w.f64(d.defaultSampleRate);
    });
    return std::move(w.bytes());
}

bool decodeRawDeviceList(const void* data, size_t size, RawDeviceList& raw) {
    raw = RawDeviceList();
    Reader r(data, size);
    uint32_t kind = 0, count = 0;
    if (!r.u32(kind) || kind != static_cast<uint32_t>(AudioHostMessageKind::RawDevices) || !r.i32(raw.count) ||
        !r.text(raw.errorText) || !r.u32(count)) {
        raw = RawDeviceList();
        return false;
    }
    const bool ok = readListToEnd(r, count, raw.devices, [&r](RawDeviceEntry& d) {
        uint32_t present = 0;
        if (!r.u32(present) || present > 1u || !r.text(d.name) || !r.text(d.hostApiName) || !r.i32(d.hostApiType) ||
            !r.i32(d.maxInputChannels) || !r.i32(d.maxOutputChannels) || !r.f64(d.defaultSampleRate))
            return false;
        d.present = present != 0;
        return true;
    });
    if (!ok)
        raw = RawDeviceList();
    return ok;
}

void copyDeviceResolution(const HapticSettings& from, HapticSettings& to) {
    to.audioDeviceIndex = from.audioDeviceIndex;
    for (int i = 0; i < kMaxAudioDevices; ++i) {
        std::memcpy(to.devices[i].name, from.devices[i].name, sizeof to.devices[i].name);
        std::memcpy(to.devices[i].clsid, from.devices[i].clsid, sizeof to.devices[i].clsid);
        to.devices[i].name[sizeof to.devices[i].name - 1] = '\0';
        to.devices[i].clsid[sizeof to.devices[i].clsid - 1] = '\0';
        to.devices[i].paIndex = from.devices[i].paIndex;
        to.devices[i].channels = from.devices[i].channels;
    }
}

std::string encodeServerBuffer(const AudioHostServerBuffer& buffer) {
    Writer w;
    w.u32(static_cast<uint32_t>(AudioHostMessageKind::ServerBuffer));
    w.i32(buffer.frames);
    w.f64(buffer.sampleRate);
    w.f64(buffer.latencyMs);
    return std::move(w.bytes());
}

bool decodeServerBuffer(const void* data, size_t size, AudioHostServerBuffer& buffer) {
    Reader r(data, size);
    uint32_t kind = 0;
    AudioHostServerBuffer got;
    if (!r.u32(kind) || kind != static_cast<uint32_t>(AudioHostMessageKind::ServerBuffer) || !r.i32(got.frames) ||
        !r.f64(got.sampleRate) || !r.f64(got.latencyMs) || !r.atEnd())
        return false;
    if (got.frames < 1 || got.frames > (1 << 20) || !std::isfinite(got.sampleRate) || got.sampleRate < 1.0 ||
        got.sampleRate > 1e6 || !std::isfinite(got.latencyMs) || got.latencyMs < 0.0 || got.latencyMs > 10000.0)
        return false;
    buffer = got;
    return true;
}

}  // namespace qv
