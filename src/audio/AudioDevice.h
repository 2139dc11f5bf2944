#pragma once
// Audio interfaces as the user sees them: one PhysicalDevice per hardware
// name, holding the host-API variants (DeviceInfo) under which PortAudio and
// the ASIO driver registry list it.
//
// A list is valid from one PortAudio initialisation to the next termination:
// paIndex values lose their meaning after that, so re-enumeration rebuilds
// the list. Lists are plain values, copied whole (the GUI keeps its own copy).

#include "audio/AudioBuffer.h"  // kMaxStreamChannels caps every stream's channel count

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Device ids at or above this name a driver of the ASIO registry, not a
// PortAudio device.
inline constexpr int kRegistryAsioIdBase = 10000;

// One host-API variant of a device.
struct DeviceInfo {
    int32_t paIndex = -1;                   // -1: listed only by the ASIO registry
    std::string hostApiName;                // hostApiName() of the type ("ASIO" for registry-only variants)
    int32_t hostApiType = 0;                // PortAudio host-API type id
    int32_t maxOutputChannels = 0;          // 4 for a registry-only variant
    double defaultLowOutputLatencyMs = 0.0; // 0 for a registry-only variant
    std::string clsid;                      // ASIO driver class identifier from the registry, or empty
    bool asioFlag = false;                  // an ASIO variant backed by a registry entry
    // A host API whose server sets the buffer (JACK): the server's buffer
    // size when enumerated, and the output latency a stream on this variant
    // shows (streamOutputLatencyMs); 0 when the buffer is ours to choose.
    int32_t serverBufferFrames = 0;
    double serverLatencyMs = 0.0;
    // The server runs at the size its clients ask for, within its limits
    // (PipeWire's graph; jackd keeps its own): the saved buffer size is asked
    // for and serverBufferFrames is what was granted. Set by the program for
    // the JACK variants of a host that reaches PipeWire.
    bool serverTakesRequest = false;
};

// One interface with its variants, ordered by preference once enumerated.
struct PhysicalDevice {
    std::string hardwareName;      // normalised name, never empty
    std::vector<DeviceInfo> apis;  // sorted by hostApiRank after enumeration
    int32_t selectedApi = 0;       // index into apis of the variant to open
    int32_t maxChannels = 2;       // first variant's channels capped at 8; for openMultiDevice the count to open
    int32_t bufferSize = 256;      // frames per buffer for openMultiDevice
    bool enabled = false;          // takes part in openMultiDevice
    bool suitable = true;          // no unsuitable keyword in the name; shown, never used to filter

    // The variant at selectedApi, or null when selectedApi is out of range.
    const DeviceInfo* selectedVariant() const {
        if (selectedApi < 0 || selectedApi >= static_cast<int32_t>(apis.size()))
            return nullptr;
        return &apis[static_cast<size_t>(selectedApi)];
    }
};

// One PortAudio device with inputs, as the latency test lists them.
struct InputDevice {
    int32_t paIndex = -1;
    std::string name;         // PortAudio's name ("(unknown)" when it has none)
    std::string hostApiName;  // empty when PortAudio names none
    int32_t inputChannels = 0;
};

// PortAudio's own device list, entry for entry (inputs-only devices too), as
// the device wizard's log shows it.
struct RawDeviceEntry {
    bool present = false;     // PortAudio gave a record for the index
    std::string name;
    std::string hostApiName;  // empty when PortAudio has no host API for it
    int32_t hostApiType = -1; // -1 when PortAudio has no host API for it
    int32_t maxInputChannels = 0;
    int32_t maxOutputChannels = 0;
    double defaultSampleRate = 0.0;
};

struct RawDeviceList {
    int32_t count = 0;      // PortAudio's device count; negative: its error code
    std::string errorText;  // PortAudio's text for a negative count
    std::vector<RawDeviceEntry> devices;  // position = PortAudio index
};

// One driver of the ASIO registry, as scanAsioRegistry returns it.
struct DeviceSelection {
    int32_t id = -1;  // kRegistryAsioIdBase + position for scanned drivers
    std::string name;
    std::string api;
    std::string clsid;
    int32_t channels = 0;
    bool enabled = false;
    double sampleRate = 48000.0;
};

}  // namespace qv
