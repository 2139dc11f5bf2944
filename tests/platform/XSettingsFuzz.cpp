// libFuzzer target: whatever another client puts into the desktop's
// settings property goes through the XSETTINGS reader.

#include "platform/XSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qv::xsettingsInteger(data, size, "Net/DoubleClickTime");
    qv::xsettingsInteger(data, size, "");
    return 0;
}
