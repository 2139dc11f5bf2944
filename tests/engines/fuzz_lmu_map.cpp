// libFuzzer target: Le Mans Ultimate's telemetry map. The input is a list of
// patches (3 bytes of offset, 1 byte of length, then the bytes) laid over a
// map with a valid player, so the fuzzer reaches the counts, flags, indexes
// and times anywhere in the 324,824 bytes. Whatever the map holds, the engine
// must stay inside the map and its snapshot (the sanitizers watch), and
// every frame must be finite with amplitudes in 0..1. The map lives in memory
// and the engine is reconnected for each input.

#include "engines/LMUHapticEngine.h"
#include "engines/SharedMemoryLock.h"
#include "FuzzEngineChecks.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/Output.h"
#include "platform/SharedMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using qv::fuzz::checkFrame;

const std::string& folder() {
    static const std::string memory = qv::fuzz::memoryFolder("lmu");
    return memory;
}

constexpr size_t kMapSize = 324824;
constexpr size_t kRecord = 128468;

template <typename T>
void put(uint8_t* map, size_t offset, T v) {
    std::memcpy(map + offset, &v, sizeof v);
}

void validPlayer(uint8_t* map) {
    put<int32_t>(map, 40, 1);
    put<int32_t>(map, 44, 1);
    put<int32_t>(map, 1736, 1);
    map[2192 + 196] = 1;
    map[128464] = 1;
    map[128466] = 1;
    put<double>(map, kRecord + 4, 0.01);
    put<double>(map, kRecord + 12, 1.0);
    put<double>(map, kRecord + 200, -30.0);
    put<int32_t>(map, kRecord + 352, 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qv::OutputCapture quiet([](qv::OutputStream, std::string_view) {});
    // One map for the whole run, put back to its first state after each
    // input: only the patched ranges are copied back, not the whole map.
    static qv::SharedMemoryMap map(folder());
    static std::vector<uint8_t> pristine;
    // The lock record and both events exist as the simulator leaves them,
    // so each connect opens them instead of creating and removing its own.
    static qv::SharedMemoryMap lockRecord(folder());
    static qv::NamedEvent lockEvent(folder());
    static qv::NamedEvent dataEvent(folder());
    if (pristine.empty()) {
        if (!map.create("LMU_Data", kMapSize) ||
            !lockRecord.create(qv::SharedMemoryLock::kRecordName, qv::SharedMemoryLock::kRecordSize) ||
            !lockEvent.openOrCreate(qv::SharedMemoryLock::kEventName) || !dataEvent.openOrCreate("LMU_Data_Event"))
            std::abort();
        validPlayer(map.writableData());
        pristine.assign(map.data(), map.data() + kMapSize);
    }
    uint8_t* bytes = map.writableData();
    static std::vector<std::pair<size_t, size_t>> touched;
    touched.clear();

    static qv::ManualClock clock;
    // connect() starts every input from a fresh connection state.
    static qv::LMUHapticEngine engine(folder(), &clock);
    if (!engine.connect())
        std::abort();
    qv::EffectProfile fx;
    fx.suspDualBand = size > 0 && (data[0] & 1);
    qv::HapticFrame out;
    size_t at = 0;
    double elapsed = 1.0;
    for (int round = 0; round < 4; ++round) {
        // Each round applies patches until a zero-length one, then samples.
        while (at + 4 <= size) {
            const size_t offset = (size_t(data[at]) | size_t(data[at + 1]) << 8 | size_t(data[at + 2]) << 16) % kMapSize;
            const size_t length = data[at + 3];
            at += 4;
            if (length == 0)
                break;
            const size_t n = std::min({length, size - at, kMapSize - offset});
            std::memcpy(bytes + offset, data + at, n);
            touched.emplace_back(offset, n);
            at += n;
        }
        if (engine.update(fx, out))
            checkFrame(out);
        elapsed += 0.01;
        put<double>(bytes, kRecord + 12, elapsed);
    }
    if (qv::fuzz::isDrawingInput(data, size))
        qv::fuzz::drawAndLog(engine, fx, out, 100);
    engine.disconnect();
    for (const auto& [offset, n] : touched)
        std::memcpy(bytes + offset, pristine.data() + offset, n);
    std::memcpy(bytes + kRecord + 12, pristine.data() + kRecord + 12, sizeof(double));
    return 0;
}
