// libFuzzer target: random bytes as iRacing's telemetry map. Whatever the
// bytes, the engine must not read outside the map, and every frame it gives
// must be finite with amplitudes in 0..1.

#include "engines/IRacingHapticEngine.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "platform/SharedMemory.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string gFolder;

void removeFolder() {
    ::unlink((gFolder + "IRSDKMemMapFileName").c_str());
    ::rmdir(gFolder.c_str());
}

const std::string& folder() {
    if (gFolder.empty()) {
        char pattern[] = "/tmp/qvfuzz-iracing-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        gFolder = std::string(pattern) + "/";
        std::atexit(removeFolder);
    }
    return gFolder;
}

void checkFrame(const qv::HapticFrame& f) {
    const float* v = reinterpret_cast<const float*>(&f);
    for (size_t i = 0; i < sizeof f / sizeof(float); ++i) {
        if (!std::isfinite(v[i]))
            __builtin_trap();
    }
    for (const qv::CornerHaptics& c : f.corners) {
        for (float a : {c.roadAmp, c.impactAmp, c.kerbAmp, c.absAmp, c.slipAmp}) {
            if (!(a >= 0.0f && a <= 1.0f))
                __builtin_trap();
        }
    }
    if (!(f.engineAmp >= 0.0f && f.engineAmp <= 1.0f))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static qv::OutputCapture quiet([](qv::OutputStream, std::string_view) {});
    qv::SharedMemoryMap map(folder());
    if (!map.create("Local\\IRSDKMemMapFileName", size))
        std::abort();
    std::memcpy(map.writableData(), data, size);

    qv::ManualClock clock;
    qv::IRacingHapticEngine engine(folder(), &clock);
    if (engine.connect()) {
        qv::EffectProfile fx;
        qv::HapticFrame out;
        for (int i = 0; i < 3; ++i) {
            if (engine.update(fx, out))
                checkFrame(out);
            // A new tick on one of the four buffers, as a running simulator does.
            map.writableData()[48 + 16 * static_cast<size_t>(i)] ^= static_cast<uint8_t>(i + 1);
            clock.advanceMs(300);
        }
        qv::RecordingConsole console;
        engine.drawDashboardHeader(console, true, 8, fx);
        engine.drawDashboard(console, out, fx, 60, 0.5f);
        std::string csv;
        engine.writeCsvHeader(csv);
        engine.writeCsvRow(csv);
        if (!csv.empty() && csv.back() != '\n')
            __builtin_trap();
    }
    engine.disconnect();
    map.removeFile();
    return 0;
}
