#include "engines/EngineFactory.h"

#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/IRacingHapticEngine.h"

namespace qv {

namespace {

// Stands in for a simulator whose engine this build does not have yet: it
// never connects, so the program keeps waiting for that simulator.
class UnavailableEngine final : public ISimHapticEngine {
public:
    explicit UnavailableEngine(const char* name) : m_name(name) {}
    bool connect() override { return false; }
    bool isConnected() const override { return false; }
    void disconnect() override {}
    bool update(const EffectProfile&, HapticFrame&) override { return false; }
    const char* displayName() const override { return m_name; }
    void drawDashboardHeader(IConsole& console, bool, int, const EffectProfile&) override { console.clear(); }
    void drawDashboard(IConsole&, const HapticFrame&, const EffectProfile&, int, float) override {}

private:
    const char* m_name;
};

}  // namespace

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
    case kLMU:
    case kACEVO:
        return std::make_unique<UnavailableEngine>(simDisplayName(sim));
    default:
        // iRacing, and rFactor 2 and any unknown value as well.
        return std::make_unique<IRacingHapticEngine>();
    }
}

}  // namespace qv
