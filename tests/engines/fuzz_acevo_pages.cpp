// libFuzzer target: random bytes as AC EVO's physics and graphics pages,
// over three physics steps. Whatever the bytes, the engine must stay inside
// the pages, every frame must be finite with amplitudes in 0..1, and the
// dashboard and logger rows must survive them.

#include "engines/ACEVOHapticEngine.h"
#include "FuzzEngineChecks.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "platform/SharedMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qv::fuzz::checkFrame;

const std::string& folder() {
    static const std::string memory = qv::fuzz::memoryFolder("acevo");
    return memory;
}

constexpr size_t kPhysics = 800;
constexpr size_t kGraphics = 3936;

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
    if (qv::fuzz::isDrawingInput(data, size))
        qv::fuzz::drawAndLog(engine, fx, out, 333);
    engine.disconnect();
    physics.removeFile();
    graphics.removeFile();
    return 0;
}
