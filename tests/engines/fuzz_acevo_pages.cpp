// libFuzzer target: random bytes as AC EVO's physics and graphics pages,
// over three physics steps. Whatever the bytes, the engine must stay inside
// the pages, every frame must be finite with amplitudes in 0..1, and the
// dashboard and logger rows must survive them.

#include "engines/ACEVOHapticEngine.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "platform/SharedMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kPhysics = 800;
constexpr size_t kGraphics = 3936;

std::string gFolder;

void removeFolder() {
    ::unlink((gFolder + "acevo_pmf_physics").c_str());
    ::unlink((gFolder + "acevo_pmf_graphics").c_str());
    ::rmdir(gFolder.c_str());
}

const std::string& folder() {
    if (gFolder.empty()) {
        char pattern[] = "/tmp/qvfuzz-acevo-XXXXXX";
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
    static qv::OutputCapture quiet([](qv::OutputStream, std::string_view) {});
    qv::SharedMemoryMap physics(folder());
    qv::SharedMemoryMap graphics(folder());
    if (!physics.create("Local\\acevo_pmf_physics", kPhysics) || !graphics.create("Local\\acevo_pmf_graphics", kGraphics))
        std::abort();
    // The bytes fill the physics page, then the graphics page; the rest is zero.
    const size_t first = std::min(size, kPhysics);
    std::memcpy(physics.writableData(), data, first);
    std::memcpy(graphics.writableData(), data + first, std::min(size - first, kGraphics));

    qv::ManualClock clock;
    qv::ACEVOHapticEngine engine(folder(), &clock);
    if (!engine.connect())
        std::abort();
    qv::EffectProfile fx;
    qv::HapticFrame out;
    for (int i = 0; i < 3; ++i) {
        if (engine.update(fx, out))
            checkFrame(out);
        // A new step with the travel moved by bytes from the input.
        physics.writableData()[0] ^= static_cast<uint8_t>(i + 1);
        if (size > kPhysics + kGraphics + static_cast<size_t>(i))
            physics.writableData()[184 + static_cast<size_t>(i)] ^= data[kPhysics + kGraphics + i];
        clock.advanceMs(i == 1 ? 700 : 4);
    }
    qv::RecordingConsole console;
    engine.drawDashboardHeader(console, true, 8, fx);
    engine.drawDashboard(console, out, fx, 333, 0.5f);
    std::string csv;
    engine.writeCsvHeader(csv);
    engine.writeCsvRow(csv);
    if (!csv.empty() && csv.back() != '\n')
        __builtin_trap();
    engine.disconnect();
    physics.removeFile();
    graphics.removeFile();
    return 0;
}
