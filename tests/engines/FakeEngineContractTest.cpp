// The contract suite run against the scripted fake engine, so the suite itself
// is known to pass for an engine that keeps the contract.

#include "engines/EngineContract.h"
#include "support/FakeEngine.h"

namespace qv::test {

struct FakeTraits {
    class Feed {
    public:
        void start() { telemetry.running = true; }
        void publish(bool onTrack) {
            FakeSample s;
            s.onTrack = onTrack;
            s.frame.corners[0].roadAmp = 0.5f;
            s.frame.engineAmp = 0.25f;
            telemetry.push(s);
        }
        void stop() { telemetry.running = false; }
        FakeTelemetry telemetry;
    };
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) {
        return std::make_unique<FakeEngine>(&feed.telemetry, "Fake");
    }
    static constexpr const char* kName = "Fake";
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, EngineContract, FakeTraits);

}  // namespace qv::test
