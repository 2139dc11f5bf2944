// What every engine fuzz target checks, and the in-memory shared-memory
// folder it publishes its random pages in. A failed check traps, which
// libFuzzer reports with the input that caused it.
#pragma once

#include "engines/ISimHapticEngine.h"
#include "platform/Console.h"
#include "platform/SharedMemory.h"
#include "support/FuzzSampling.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace qv::fuzz {

// The target's shared-memory folder, kept in memory: no files per input, so
// the engines run many thousand times a second.
inline std::string memoryFolder(const char* tag) { return std::string(kMemoryFolderPrefix) + tag + "/"; }

// Every value finite, every amplitude within 0..1.
QV_FUZZ_HARNESS_ONLY inline void checkFrame(const HapticFrame& f) {
    const float* v = reinterpret_cast<const float*>(&f);
    for (size_t i = 0; i < sizeof f / sizeof(float); ++i) {
        if (!std::isfinite(v[i]))
            __builtin_trap();
    }
    for (const CornerHaptics& c : f.corners) {
        for (float a : {c.roadAmp, c.impactAmp, c.kerbAmp, c.absAmp, c.slipAmp}) {
            if (!(a >= 0.0f && a <= 1.0f))
                __builtin_trap();
        }
    }
    if (!(f.engineAmp >= 0.0f && f.engineAmp <= 1.0f))
        __builtin_trap();
}

// Logger text is whole lines.
QV_FUZZ_HARNESS_ONLY inline void checkLines(const std::string& text) {
    if (!text.empty() && text.back() != '\n')
        __builtin_trap();
}

// Drawing the dashboard costs several times what reading and computing cost:
// one input in kDrawingShare draws it.
inline constexpr uint32_t kDrawingShare = 16;

inline bool isDrawingInput(const uint8_t* data, size_t size) { return isSampledInput(data, size, kDrawingShare); }

// A console kept for the run per engine and suspension mode, with the
// header drawn on it once: the header is fixed text, and each input draws the
// dashboard over it as the run loop does.
inline RecordingConsole& consoleWithHeader(ISimHapticEngine& engine, const EffectProfile& fx) {
    static std::map<std::pair<std::string, int>, RecordingConsole> consoles;
    const auto [it, added] = consoles.try_emplace({engine.displayName(), fx.suspDualBand != 0 ? 1 : 0});
    if (added)
        engine.drawDashboardHeader(it->second, true, 8, fx);
    return it->second;
}

// The dashboard drawn from what the engine read, and a logger header and row.
inline void drawAndLog(ISimHapticEngine& engine, const EffectProfile& fx, const HapticFrame& shown,
                       int updatesPerSecond) {
    engine.drawDashboard(consoleWithHeader(engine, fx), shown, fx, updatesPerSecond, 0.5f);
    std::string csv;
    engine.writeCsvHeader(csv);
    engine.writeCsvRow(csv);
    checkLines(csv);
}

}  // namespace qv::fuzz
