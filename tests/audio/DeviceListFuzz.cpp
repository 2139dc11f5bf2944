// libFuzzer target: whatever bytes arrive as the audio host's device list,
// input list, PortAudio list and server buffer size go through the
// decoders; what they accept encodes back to the same bytes.

#include "audio/AudioHostProtocol.h"

#include <cstdlib>
#include <cstring>

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<InputDevice> inputs;
    if (decodeInputList(data, size, inputs)) {
        const std::string again = encodeInputList(inputs);
        if (again.size() == size && std::memcmp(again.data(), data, size) != 0)
            std::abort();
    } else if (!inputs.empty()) {
        std::abort();
    }
    RawDeviceList raw;
    if (decodeRawDeviceList(data, size, raw)) {
        const std::string again = encodeRawDeviceList(raw);
        if (again.size() == size && std::memcmp(again.data(), data, size) != 0)
            std::abort();
    } else if (!raw.devices.empty() || raw.count != 0) {
        std::abort();
    }
    AudioHostServerBuffer buffer;
    if (decodeServerBuffer(data, size, buffer)) {
        const std::string again = encodeServerBuffer(buffer);
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0)
            std::abort();
    }
    std::vector<PhysicalDevice> devices;
    if (!decodeDeviceList(data, size, devices)) {
        if (!devices.empty())
            std::abort();
        return 0;
    }
    const std::string again = encodeDeviceList(devices);
    if (again.size() == size && std::memcmp(again.data(), data, size) != 0)
        std::abort();
    return 0;
}
