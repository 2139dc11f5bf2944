// What every engine fuzz target checks, and the temporary shared-memory
// folder it publishes its random pages in. A failed check traps, which
// libFuzzer reports with the input that caused it.
#pragma once

#include "engines/ISimHapticEngine.h"
#include "platform/Console.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

namespace qv::fuzz {

// A folder of the process's own under /tmp, removed with the named files
// when the fuzzer exits.
inline const std::string& sharedMemoryFolder(const char* tag, std::initializer_list<const char*> files) {
    static std::string folder;
    static std::vector<std::string> names;
    if (folder.empty()) {
        std::string pattern = std::string("/tmp/qvfuzz-") + tag + "-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        folder = pattern + "/";
        names.assign(files.begin(), files.end());
        std::atexit([] {
            for (const std::string& name : names)
                ::unlink((folder + name).c_str());
            ::rmdir(folder.c_str());
        });
    }
    return folder;
}

// Every value finite, every amplitude within 0..1.
inline void checkFrame(const HapticFrame& f) {
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
inline void checkLines(const std::string& text) {
    if (!text.empty() && text.back() != '\n')
        __builtin_trap();
}

// The dashboard drawn from what the engine read, and a logger header and row.
inline void drawAndLog(ISimHapticEngine& engine, const EffectProfile& fx, const HapticFrame& shown,
                       int updatesPerSecond) {
    RecordingConsole console;
    engine.drawDashboardHeader(console, true, 8, fx);
    engine.drawDashboard(console, shown, fx, updatesPerSecond, 0.5f);
    std::string csv;
    engine.writeCsvHeader(csv);
    engine.writeCsvRow(csv);
    checkLines(csv);
}

}  // namespace qv::fuzz
