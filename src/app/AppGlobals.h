#pragma once
// Process-wide flags and values shared between the main thread, the GUI
// thread and the workers. Single values are atomics; the haptic frame is
// published through a sequence lock (the main thread is its only writer).

#include "engines/HapticFrame.h"
#include "platform/SeqLock.h"
#include "settings/HapticSettings.h"

#include <atomic>
#include <cstdint>

namespace qv {

extern std::atomic<int32_t> gRunning;                 // 1 until shutdown is asked for
extern std::atomic<int32_t> gQuitRequested;           // raised by the GUI's Exit
extern std::atomic<int32_t> gRequestedSim;            // -1, or a SimIndex the GUI asked for
extern std::atomic<int32_t> gConsoleToggleRequested;  // raised by the GUI's console button
extern std::atomic<int32_t> gSaveRequested;           // raised by the GUI's Ctrl+S: save now
extern std::atomic<int32_t> gSimConnected;            // written by the main thread only
extern std::atomic<int32_t> gDashboardAudioOk;        // audio status last shown in the header
extern SeqLock<HapticFrame> gHapticFrame;             // last new frame; written by main only
extern std::atomic<float> gEffectMeters[kEffectCount];  // meter levels, EffectId order

// Puts every value above back to its start value (tests).
void resetAppGlobals();

// The GUI's simulator selector: stores the request for the main thread.
// Values outside 0..5 are ignored.
void selectSimCallback(int simIndex);

}  // namespace qv
