#pragma once
// Makes the telemetry engine for a simulator.

#include "engines/ISimHapticEngine.h"

#include <memory>

namespace qv {

// The engine for `sim` (a SimIndex; rFactor 2 and any unknown value get the
// iRacing engine).
std::unique_ptr<ISimHapticEngine> createSimEngine(int sim);

// The display name of the engine createSimEngine makes for `sim`.
const char* simDisplayName(int sim);

}  // namespace qv
