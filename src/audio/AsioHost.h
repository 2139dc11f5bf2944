#pragma once
// A host that drives one ASIO driver directly, without PortAudio: it creates
// the driver from its class identifier, settles rate, channel count, buffer
// size and sample type, creates the driver's double buffers and, on each
// buffer switch, asks the fill callable for one planar block and converts it
// into the driver's format. Nothing in the program creates one today (ASIO
// devices go through PortAudio); on Linux no driver exists, so init fails.
//
// Threads: init, start, stop, close and setFill run on one thread (the one
// that owns the host). onBufferSwitch runs on the driver's thread between
// start and stop and calls the fill callable there; it is real-time code
// (no allocation, no lock, no I/O). ASIO callbacks carry no context, so the
// driver's callbacks reach the host through gActiveAsioHost, which is set
// before createBuffers and start and cleared on close, while no buffer
// switch can arrive.

#include "audio/AsioDriver.h"
#include "audio/AudioBuffer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class AsioHost;
extern std::atomic<AsioHost*> gActiveAsioHost;

// Outputs beyond this many are not given buffers (a bound on what a driver's
// channel count may make the host allocate).
inline constexpr int kMaxAsioDriverOutputs = 1024;

// The buffer size for a request, given the driver's limits: the request when
// the driver allows it (rounded to its granularity), else its preferred size;
// never above its maximum or the kMaxBlockFrames of the planes. 0 when no
// size fits.
int32_t chooseAsioBufferSize(int32_t requested, int32_t min, int32_t max, int32_t preferred, int32_t granularity);

// The driver message reply: 1 for the selectors the host answers (1, 4, 6, 8).
int32_t asioMessageReply(int32_t selector);

class AsioHost {
public:
    using FillFn = std::function<void(AudioBuffer& buffer)>;

    // factory null: the system's (no drivers on Linux).
    explicit AsioHost(IAsioDriverFactory* factory = nullptr);
    ~AsioHost();
    AsioHost(const AsioHost&) = delete;
    AsioHost& operator=(const AsioHost&) = delete;

    // Loads the driver and creates its buffers; begins with close(), so it
    // can be repeated. False with lastError() on any failure.
    bool init(const std::string& clsid, int32_t channels, double sampleRate, int32_t bufferFrames,
              void* window = nullptr);
    bool start();
    void stop();
    // Stops, disposes the buffers, releases the driver, ends COM; safe always.
    void close();
    // Only while not running.
    void setFill(FillFn fill) { m_fill = std::move(fill); }

    // Driver thread: fills and converts one half buffer (index 0 or 1).
    void onBufferSwitch(int32_t index);

    int32_t channels() const { return m_channels; }
    int32_t bufferFrames() const { return m_bufferFrames; }
    double sampleRate() const { return m_sampleRate; }
    double latencyMs() const { return m_latencyMs; }
    int32_t sampleType() const { return m_sampleType; }
    bool isRunning() const { return m_running.load() != 0; }
    bool isInitialised() const { return m_initialised; }
    const std::string& lastError() const { return m_lastError; }
    // The callback table handed to createBuffers.
    const AsioCallbacks& callbacks() const { return m_callbacks; }

private:
    // lastError := text, and "  [AsioHost] ERROR: " + text on standard error.
    void setError(const std::string& text);
    bool settleSampleRate(double requested);

    IAsioDriverFactory& m_factory;
    AsioDriverPtr m_driver;
    AudioBuffer m_buffer;
    FillFn m_fill;
    int32_t m_channels = 4;
    int32_t m_bufferFrames = 256;
    double m_sampleRate = 48000.0;
    double m_latencyMs = 0.0;
    std::atomic<int32_t> m_running{0};
    bool m_comInitialised = false;
    bool m_initialised = false;
    std::string m_lastError;
    int32_t m_sampleType = AsioSampleType::kInt32Lsb;
    int32_t m_sampleWidth = 4;
    std::vector<AsioBufferInfo> m_bufferInfos;
    AsioCallbacks m_callbacks;
};

}  // namespace qv
