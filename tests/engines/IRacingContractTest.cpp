// The engine contract for the iRacing engine, with the simulator played by a
// block in the test's own shared-memory folder.

#include "engines/EngineContract.h"
#include "engines/IRacingHapticEngine.h"
#include "engines/IRacingTestBlock.h"
#include "support/TempDir.h"

namespace qv::test {

struct IRacingTraits {
    class Feed {
    public:
        Feed() : block(dir.path()) { block.addStandardVars(false); }
        void start() { ASSERT_TRUE(block.create()); }
        void publish(bool onTrack) {
            block.setOnTrackDefaults();
            block.setBool("IsOnTrack", onTrack);
            block.publishNext();
        }
        void stop() {
            block.setRunning(false);
            block.remove();
        }
        TempDir dir;
        IRacingTestBlock block;
    };
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) {
        return std::make_unique<IRacingHapticEngine>(feed.dir.path());
    }
    static constexpr const char* kName = "iRacing";
};

INSTANTIATE_TYPED_TEST_SUITE_P(IRacing, EngineContract, IRacingTraits);

}  // namespace qv::test
