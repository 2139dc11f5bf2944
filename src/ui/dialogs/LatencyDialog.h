#pragma once
// The "Measure Latency" dialog: the user picks an input wired to an output of
// the primary interface and presses "Run Test"; the request goes to the main
// loop through the latency-test values of audio/AudioStatus.h, and the
// dialog polls for the result and shows the one-way and round-trip time.
//
// It never waits for ever: after kLatencyGiveUpMs it stops with a failure
// text and withdraws a request no worker has taken yet. It never calls
// PortAudio: the input list is the copy the audio runtime publishes.
//
// GUI thread only. The state lives on the opener's stack; the callbacks are
// public so tests can drive them after one offscreen paint.

#include "audio/AudioDevice.h"
#include "platform/Clock.h"
#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

inline constexpr uint32_t kLatencyPollTimer = 101;
inline constexpr uint32_t kLatencyPollMs = 500;
inline constexpr uint64_t kLatencyGiveUpMs = 15000;

enum LatencyTestState : int32_t { kLatencyIdle = 0, kLatencyTesting = 1, kLatencyResult = 2, kLatencyFailed = 3 };

struct LatencyDialogState {
    UiDropdown inputList;
    UiButton runButton;
    UiButton closeButton;
    WidgetList widgets;  // filled by the layout of each paint
    int32_t testState = kLatencyIdle;
    int32_t inputIndex[kDropdownMaxItems] = {};  // PortAudio index of each item
    std::string inputNames[kDropdownMaxItems];   // the full names, for the request
    std::string statusText;
    uint64_t testStartMs = 0;
    IClock* clock = nullptr;  // null: the system clock
};

// Fills the state from a list of input devices (the first 32 are listed).
void initLatencyDialog(LatencyDialogState& state, const std::vector<InputDevice>& inputs, IClock* clock = nullptr);
void paintLatencyDialog(DrawContext& context, float width, float height, void* user);
bool latencyDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool latencyDialogKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool latencyDialogTimer(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);
// "Run Test": hands the selected input to the main loop.
void startLatencyTest(LatencyDialogState& state);
// The dialog closes: a request still pending is withdrawn.
void endLatencyDialog(LatencyDialogState& state);

// Runs the dialog (480 x 320) on the published input list; returns 0.
int measureLatencyDialog(WindowHandle parent);

}  // namespace qv
