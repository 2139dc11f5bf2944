// libFuzzer target: random bytes as the ACC/AC physics and graphics pages,
// published as several packets. Whatever the bytes, neither engine may read
// outside its pages, every frame must be finite with amplitudes in 0..1, and
// logger rows are whole lines.
//
// Input: one byte choosing the engine (ACC or AC) and the page sizes, then the
// bytes of the physics page followed by the graphics page (zero-filled where
// the input is short); the rest of the input changes single bytes between
// packets. Each engine meets every page size, its own and the other's.

#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
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
    static const std::string memory = qv::fuzz::memoryFolder("acpages");
    return memory;
}

void drive(qv::ISimHapticEngine& engine, qv::ManualClock& clock, uint8_t* physics, size_t physicsSize,
           const uint8_t* edits, size_t editCount, bool dualBand, bool drawing) {
    qv::EffectProfile fx;
    fx.suspDualBand = dualBand ? 1 : 0;
    qv::HapticFrame out;
    std::string csv;
    if (drawing)
        engine.writeCsvHeader(csv);
    for (size_t i = 0; i < 8; ++i) {
        if (engine.update(fx, out))
            checkFrame(out);
        if (drawing)
            engine.writeCsvRow(csv);
        // A new packet with one byte changed, as a running simulator writes.
        int32_t id;
        std::memcpy(&id, physics, sizeof id);
        id = static_cast<int32_t>(static_cast<uint32_t>(id) + 1);
        std::memcpy(physics, &id, sizeof id);
        if (2 * i + 1 < editCount) {
            const size_t at = 4 + edits[2 * i] * (physicsSize - 4) / 256;
            physics[at] ^= edits[2 * i + 1];
        }
        clock.advanceMs(1 + (edits && editCount > i ? edits[i] : 0) * 3);
    }
    if (drawing) {
        qv::fuzz::checkLines(csv);
        engine.drawDashboard(qv::fuzz::consoleWithHeader(engine, fx), out, fx, 60, 0.5f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static qv::OutputCapture quiet([](qv::OutputStream, std::string_view) {});
    // Sizes: the ACC sizes, the AC sizes, or one of them a little short.
    static constexpr size_t kSizes[4][2] = {{580, 1320}, {368, 252}, {579, 1320}, {580, 251}};
    const size_t physicsSize = kSizes[data[0] % 4][0];
    const size_t graphicsSize = kSizes[data[0] % 4][1];
    const bool dualBand = (data[0] & 4) != 0;
    const bool accEngine = (data[0] & 8) == 0;
    const bool drawing = qv::fuzz::isDrawingInput(data, size);
    ++data;
    --size;

    qv::SharedMemoryMap physics(folder());
    qv::SharedMemoryMap graphics(folder());
    if (!physics.create("Local\\acpmf_physics", physicsSize) || !graphics.create("Local\\acpmf_graphics", graphicsSize))
        std::abort();
    const size_t toPhysics = std::min(size, physicsSize);
    std::memcpy(physics.writableData(), data, toPhysics);
    const size_t toGraphics = std::min(size - toPhysics, graphicsSize);
    std::memcpy(graphics.writableData(), data + toPhysics, toGraphics);
    const uint8_t* edits = data + toPhysics + toGraphics;
    const size_t editCount = size - toPhysics - toGraphics;

    qv::ManualClock clock;
    if (accEngine) {
        qv::ACCHapticEngine acc(folder(), &clock);
        if (acc.connect())
            drive(acc, clock, physics.writableData(), physicsSize, edits, editCount, dualBand, drawing);
    } else {
        qv::ACHapticEngine ac(folder(), &clock);
        if (ac.connect())
            drive(ac, clock, physics.writableData(), physicsSize, edits, editCount, dualBand, drawing);
    }
    physics.removeFile();
    graphics.removeFile();
    return 0;
}
