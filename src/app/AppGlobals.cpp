#include "app/AppGlobals.h"

namespace qv {

std::atomic<int32_t> gRunning{1};
std::atomic<int32_t> gQuitRequested{0};
std::atomic<int32_t> gRequestedSim{-1};
std::atomic<int32_t> gConsoleToggleRequested{0};
std::atomic<int32_t> gSaveRequested{0};
std::atomic<int32_t> gSimConnected{0};
std::atomic<int32_t> gDashboardAudioOk{0};
SeqLock<HapticFrame> gHapticFrame;
std::atomic<float> gEffectMeters[kEffectCount] = {};

void resetAppGlobals() {
    gRunning = 1;
    gQuitRequested = 0;
    gRequestedSim = -1;
    gConsoleToggleRequested = 0;
    gSaveRequested = 0;
    gSimConnected = 0;
    gDashboardAudioOk = 0;
    gHapticFrame.store(HapticFrame{});
    for (auto& meter : gEffectMeters)
        meter = 0.0f;
}

void selectSimCallback(int simIndex) {
    if (isValidSimIndex(simIndex))
        gRequestedSim.exchange(simIndex);
}

}  // namespace qv
