// The engine factory: iRacing for its own index, for rFactor 2 and for any
// value it does not know.

#include "engines/ACCHapticEngine.h"
#include "engines/ACEVOHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/EngineFactory.h"
#include "engines/IRacingHapticEngine.h"
#include "engines/LMUHapticEngine.h"

#include <gtest/gtest.h>

#include <climits>

namespace qv::test {
namespace {

TEST(EngineFactory, IRacingServesItsOwnIndexRFactor2AndUnknownValues) {
    for (int sim : {0, 5, 6, 99, -1, INT_MIN, INT_MAX}) {
        std::unique_ptr<ISimHapticEngine> engine = createSimEngine(sim);
        ASSERT_NE(engine, nullptr) << sim;
        EXPECT_NE(dynamic_cast<IRacingHapticEngine*>(engine.get()), nullptr) << sim;
        EXPECT_STREQ(engine->displayName(), "iRacing") << sim;
        EXPECT_STREQ(simDisplayName(sim), "iRacing") << sim;
        EXPECT_FALSE(engine->isConnected());
    }
}

TEST(EngineFactory, TheOtherSimulatorsKeepTheirNames) {
    const struct {
        int sim;
        const char* name;
    } cases[] = {{kACC, "ACC"}, {kLMU, "LMU"}, {kACEVO, "AC EVO"}, {kAC, "AC"}};
    for (const auto& c : cases) {
        std::unique_ptr<ISimHapticEngine> engine = createSimEngine(c.sim);
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(dynamic_cast<IRacingHapticEngine*>(engine.get()), nullptr) << c.name;
        EXPECT_STREQ(engine->displayName(), c.name);
        EXPECT_STREQ(simDisplayName(c.sim), c.name);
    }
}

TEST(EngineFactory, ACCAndACHaveEnginesOfTheirOwn) {
    const std::unique_ptr<ISimHapticEngine> acc = createSimEngine(kACC);
    EXPECT_NE(dynamic_cast<ACCHapticEngine*>(acc.get()), nullptr);
    const std::unique_ptr<ISimHapticEngine> ac = createSimEngine(kAC);
    EXPECT_NE(dynamic_cast<ACHapticEngine*>(ac.get()), nullptr);
}

TEST(EngineFactory, MakesTheLmuAndAcEvoEngines) {
    auto lmu = createSimEngine(kLMU);
    EXPECT_NE(dynamic_cast<LMUHapticEngine*>(lmu.get()), nullptr);
    auto evo = createSimEngine(kACEVO);
    EXPECT_NE(dynamic_cast<ACEVOHapticEngine*>(evo.get()), nullptr);
}

}  // namespace
}  // namespace qv::test
