// The engine contract for the AC EVO engine, with the simulator played by
// pages in the test's own shared-memory folder.

#include "engines/ACEVOHapticEngine.h"
#include "engines/ACEVOTestPages.h"
#include "engines/EngineContract.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

namespace qv::test {

struct ACEVOTraits {
    class Feed {
    public:
        Feed() : pages(dir.path()) {}
        void start() { ASSERT_TRUE(pages.create()); }
        void publish(bool onTrack) {
            pages.setOnTrackDefaults();
            pages.graphics<int32_t>(1388, onTrack ? 3 : 0);
            pages.publish();
        }
        void stop() { pages.remove(); }
        TempDir dir;
        ACEVOTestPages pages;
        ManualClock clock;
        OutputCapture quiet{[](OutputStream, std::string_view) {}};
    };
    static std::unique_ptr<ISimHapticEngine> make(Feed& feed) {
        return std::make_unique<ACEVOHapticEngine>(feed.dir.path(), &feed.clock);
    }
    static constexpr const char* kName = "AC EVO";
};

INSTANTIATE_TYPED_TEST_SUITE_P(ACEVO, EngineContract, ACEVOTraits);

}  // namespace qv::test
