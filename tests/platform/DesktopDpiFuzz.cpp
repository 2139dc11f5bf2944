// Any bytes as a resource database (RESOURCE_MANAGER comes from another
// client) and as a DPI text: the result is 0 or a DPI within the sane range.

#include "platform/DesktopDpi.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto sane = [](int dpi) { return dpi == 0 || (dpi >= qv::kMinDesktopDpi && dpi <= qv::kMaxDesktopDpi); };
    if (!sane(qv::xftDpiFromResources(text)) || !sane(qv::parseDpiText(text.c_str())))
        std::abort();
    return 0;
}
