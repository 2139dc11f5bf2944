// libFuzzer target: random bytes as iRacing's telemetry map. Whatever the
// bytes, the engine must not read outside the map, and every frame it gives
// must be finite with amplitudes in 0..1.

#include "engines/IRacingHapticEngine.h"
#include "FuzzEngineChecks.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/Output.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qv::fuzz::checkFrame;

const std::string& folder() {
    static const std::string memory = qv::fuzz::memoryFolder("iracing");
    return memory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static qv::OutputCapture quiet([](qv::OutputStream, std::string_view) {});
    // The data-valid event exists, as the simulator keeps it.
    static qv::NamedEvent dataValid(folder());
    static const bool eventReady = dataValid.openOrCreate("Local\\IRSDKDataValidEvent");
    if (!eventReady)
        std::abort();
    qv::SharedMemoryMap map(folder());
    if (!map.create("Local\\IRSDKMemMapFileName", size))
        std::abort();
    std::memcpy(map.writableData(), data, size);

    // One engine for the run, as the run loop keeps one: connect() starts
    // each input from a fresh connection, and the clock starts over.
    static qv::ManualClock clock;
    static qv::IRacingHapticEngine engine(folder(), &clock);
    clock = qv::ManualClock{};
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
        if (qv::fuzz::isDrawingInput(data, size))
            qv::fuzz::drawAndLog(engine, fx, out, 60);
    }
    engine.disconnect();
    map.removeFile();
    return 0;
}
