#include "engines/EngineFactory.h"

#include "engines/ACCHapticEngine.h"
#include "engines/ACEVOHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/IRacingHapticEngine.h"
#include "engines/LMUHapticEngine.h"

namespace qv {

const char* simDisplayName(int sim) {
    switch (sim) {
    case kACC: return "ACC";
    case kLMU: return "LMU";
    case kACEVO: return "AC EVO";
    case kAC: return "AC";
    default: return "iRacing";
    }
}

std::unique_ptr<ISimHapticEngine> createSimEngine(int sim) {
    switch (sim) {
    case kACC: return std::make_unique<ACCHapticEngine>();
    case kAC: return std::make_unique<ACHapticEngine>();
    case kLMU: return std::make_unique<LMUHapticEngine>();
    case kACEVO: return std::make_unique<ACEVOHapticEngine>();
    default:
        // iRacing, and rFactor 2 and any unknown value as well.
        return std::make_unique<IRacingHapticEngine>();
    }
}

}  // namespace qv
