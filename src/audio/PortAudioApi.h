#pragma once
// The seam between the audio engine and the PortAudio library: exactly the
// PortAudio calls the device enumeration and the output streams make, with
// PortAudio's own types, so tests run the grouping, the format fallbacks and
// the teardown against a fake device list while the program uses the real
// library.
//
// Contract (as PortAudio's): deviceInfo and hostApiInfo return null for an
// index out of range; the records they return stay valid until terminate().
// The callers check every field they read (names may be empty, counts
// negative, rates zero); the implementation passes PortAudio's values through.

#include <portaudio.h>

#include <string>
#include <vector>

namespace qv {

class IPortAudio {
public:
    virtual ~IPortAudio() = default;

    virtual PaError initialize() = 0;
    virtual PaError terminate() = 0;
    virtual const char* errorText(PaError code) = 0;

    virtual PaDeviceIndex deviceCount() = 0;
    virtual const PaDeviceInfo* deviceInfo(PaDeviceIndex device) = 0;
    virtual const PaHostApiInfo* hostApiInfo(PaHostApiIndex hostApi) = 0;

    // paFormatIsSupported (0) when the device takes the parameters.
    virtual PaError isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                                      double sampleRate) = 0;
    virtual PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                               double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags,
                               PaStreamCallback* callback, void* userData) = 0;
    virtual PaError startStream(PaStream* stream) = 0;
    virtual PaError stopStream(PaStream* stream) = 0;
    virtual PaError closeStream(PaStream* stream) = 0;
    // Null when PortAudio has no information for the stream.
    virtual const PaStreamInfo* streamInfo(PaStream* stream) = 0;
    // For a host API whose server sets the buffer size (JACK): that size in
    // frames; 0 when the host API has none or it is unknown.
    virtual int serverBufferFrames(PaHostApiTypeId type) {
        (void)type;
        return 0;
    }
    // Names for the output ports a stream on `device` gets where the host API
    // names ports (JACK), by channel; replaces what was set for that device.
    // An empty list for device -1 forgets every device's names.
    virtual void setOutputPortNames(PaDeviceIndex device, const std::vector<std::string>& names) {
        (void)device;
        (void)names;
    }
};

// The real library, one instance per process. Its initialize() first quiets
// the diagnostics that the ALSA and JACK libraries print while PortAudio
// probes them.
IPortAudio& systemPortAudio();

}  // namespace qv
