// libFuzzer target: whatever bytes arrive as the audio host's device list go
// through the decoder; a list it accepts encodes back to the same bytes.

#include "audio/AudioHostProtocol.h"

#include <cstdlib>
#include <cstring>

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
