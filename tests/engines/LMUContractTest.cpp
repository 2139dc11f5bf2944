// The engine contract for the Le Mans Ultimate engine, with the simulator
// played by a map in the test's own shared-memory folder.

#include "engines/EngineContract.h"
#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

namespace qv::test {

struct LMUTraits {
    class Feed {
    public:
        Feed() : map(dir.path()) {}
        void start() {
            ASSERT_TRUE(map.create());
            map.setValidPlayer();
        }
        void publish(bool onTrack) {
            elapsed += 0.01;
            map.setElapsed(elapsed);
            map.setMotion(onTrack ? 30.0 : 0.0, onTrack ? 3 : 0);
            for (int c = 0; c < 4; ++c)
                map.setDeflection(c, 0.03 + 0.001 * c * elapsed);
        }
        void stop() { map.remove(); }
        TempDir dir;
        LMUTestMap map;
        ManualClock clock;
        double elapsed = 10.0;
        OutputCapture quiet{[](OutputStream, std::string_view) {}};
    };
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) {
        return std::make_unique<LMUHapticEngine>(feed.dir.path(), &feed.clock);
    }
    static constexpr const char* kName = "LMU";
};

INSTANTIATE_TYPED_TEST_SUITE_P(LMU, EngineContract, LMUTraits);

}  // namespace qv::test
