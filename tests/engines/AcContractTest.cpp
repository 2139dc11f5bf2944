// The engine contract for the ACC and AC engines, with the simulator played
// by pages in the test's own shared-memory folder.

#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/AcTestPages.h"
#include "engines/EngineContract.h"
#include "support/TempDir.h"

namespace qv::test {

class AcContractFeed {
public:
    AcContractFeed() : pages(dir.path()) {}
    void start() { ASSERT_TRUE(pages.create()); }
    void publish(bool onTrack) {
        pages.setOnTrackDefaults();
        pages.setStatus(onTrack ? 2 : 0);
        pages.publish();
    }
    void stop() { pages.remove(); }
    TempDir dir;
    AcTestPages pages;
};

struct ACCTraits {
    using Feed = AcContractFeed;
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) { return std::make_unique<ACCHapticEngine>(feed.dir.path()); }
    static constexpr const char* kName = "ACC";
};

struct ACTraits {
    using Feed = AcContractFeed;
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) { return std::make_unique<ACHapticEngine>(feed.dir.path()); }
    static constexpr const char* kName = "AC";
};

INSTANTIATE_TYPED_TEST_SUITE_P(ACC, EngineContract, ACCTraits);
INSTANTIATE_TYPED_TEST_SUITE_P(AC, EngineContract, ACTraits);

}  // namespace qv::test
