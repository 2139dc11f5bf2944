// The run loop against other threads doing what the GUI and the audio
// callbacks do: editing the live settings, reading the frame and the meters,
// asking for simulator changes. Run under ThreadSanitizer.

#include "app/RunLoopFixture.h"

#include <thread>

namespace qv::test {
namespace {

TEST_F(RunLoopTest, GuiAndAudioThreadsShareTheLiveValuesWithoutRaces) {
    startConnected();
    std::atomic<bool> stop{false};
    std::thread gui([&] {
        int i = 0;
        while (!stop.load()) {
            gSettings.edit([i](HapticSettings& s) {
                s.masterGain = static_cast<float>(i % 100) / 100.0f;
                s.effectProfiles[0].roadVibration = s.masterGain;
            });
            float meters = 0.0f;
            for (const auto& m : gEffectMeters)
                meters += m.load();
            (void)meters;
            ++i;
            std::this_thread::yield();
        }
    });
    std::atomic<int> tornReads{0};
    std::thread audioThread([&] {
        HapticSettings copy;
        while (!stop.load()) {
            if (gSettings.trySnapshot(copy) && copy.masterGain != copy.effectProfiles[0].roadVibration &&
                copy.masterGain != 0.8f)
                ++tornReads;
            const HapticFrame f = gHapticFrame.load();
            if (f.corners[0].roadAmp != f.corners[3].roadAmp)
                ++tornReads;
        }
    });
    for (int i = 0; i < 400; ++i) {
        FakeSample s;
        s.gear = i / 50;
        const float v = static_cast<float>(i % 10) / 10.0f;
        for (CornerHaptics& c : s.frame.corners)
            c.roadAmp = v;
        telemetry.push(s);
        runtime->runPass();
    }
    stop = true;
    gui.join();
    audioThread.join();
    EXPECT_EQ(tornReads.load(), 0);
    gRunning = 0;
    runtime->shutdown(true);
    EXPECT_GE(store.saves.load(), 1);
}

}  // namespace
}  // namespace qv::test
