#include "ui/dialogs/LatencyDialog.h"

#include "audio/AudioStatus.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Utf8.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/DialogPaint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

namespace {

constexpr int kLatencyWidth = 480, kLatencyHeight = 320;

enum { kInputs, kRun, kClose };

constexpr const char* kStatusSelect = "Select an input device and press Run Test.";
constexpr const char* kStatusNoInputs = "No input devices found -- check your audio driver.";
constexpr const char* kStatusTesting = "Testing... (may take a few seconds)";
constexpr const char* kStatusFailed = "Test failed -- check the loopback cable and try again.";
constexpr const char* kStatusBusy = "An earlier latency test is still running -- try again in a moment.";
constexpr const char* kStatusNotStarted =
    "The test did not start within 15 s (the audio system is busy) -- try again.";
constexpr const char* kStatusNoAnswer = "The test gave no result within 15 s -- try again.";

uint64_t nowMs(LatencyDialogState& d) {
    static SystemClock systemClock;
    return (d.clock ? d.clock : static_cast<IClock*>(&systemClock))->nowMs();
}

void layoutLatency(LatencyDialogState& d, float width, float height) {
    const float s = dpiScale();
    d.inputList.rect = RectF{20 * s, 80 * s, width - 20 * s, 112 * s};
    d.inputList.listLimit = height - 8 * s;  // the open list stays inside the dialog and scrolls
    if (!d.inputList.open)
        dropdownLayoutList(d.inputList);
    const float cx = width / 2;
    d.runButton.rect = RectF{cx - 60 * s, 132 * s, cx + 60 * s, 164 * s};
    d.closeButton.rect = RectF{width - 120 * s, height - 40 * s, width - 20 * s, height - 8 * s};
    d.widgets.clear();
    d.widgets.add(d.inputList, kInputs);
    d.widgets.add(d.runButton, kRun);
    d.widgets.add(d.closeButton, kClose);
}

void finishTest(LatencyDialogState& d, int32_t state, std::string status) {
    killWindowTimer(currentDialogWindow(), kLatencyPollTimer);
    d.testState = state;
    d.statusText = std::move(status);
    d.runButton.enabled = dropdownItemCount(d.inputList) > 0 ? 1 : 0;
}

}  // namespace

void initLatencyDialog(LatencyDialogState& d, const std::vector<InputDevice>& inputs, IClock* clock) {
    d = LatencyDialogState{};
    d.clock = clock;
    setWidgetText(d.inputList.label, "INPUT DEVICE");
    int count = 0;
    for (const InputDevice& input : inputs) {
        if (count >= kDropdownMaxItems)
            break;
        if (input.paIndex < 0 || input.inputChannels <= 0)
            continue;
        const std::string name = input.name.empty() ? "(unknown)" : input.name;
        // The host API tells apart inputs of the same name; the name is cut
        // (at a character) so that it always shows.
        const std::string api = input.hostApiName.empty() ? std::string() : " (" + input.hostApiName + ")";
        char shown[sizeof d.inputList.items[0]];
        copyUtf8Truncated(shown, api.size() < sizeof shown / 2 ? sizeof shown - api.size() : sizeof shown / 2,
                          name.c_str());
        setWidgetText(d.inputList.items[count], (std::string(shown) + api).c_str());
        d.inputIndex[count] = input.paIndex;
        d.inputNames[count] = name;
        ++count;
    }
    d.inputList.count = count;
    d.inputList.selected = 0;
    d.inputList.enabled = count > 0 ? 1 : 0;
    setWidgetText(d.runButton.label, "Run Test");
    d.runButton.style = kButtonPrimary;
    d.runButton.enabled = count > 0 ? 1 : 0;
    setWidgetText(d.closeButton.label, "Close");
    d.closeButton.style = kButtonPlain;
    d.statusText = count > 0 ? kStatusSelect : kStatusNoInputs;
}

void paintLatencyDialog(DrawContext& context, float width, float height, void* user) {
    auto& d = *static_cast<LatencyDialogState*>(user);
    ensureDialogAppearance();
    layoutLatency(d, width, height);
    const float s = dpiScale();
    drawTextUtf8(&context, guiTextFormat(kFormatControl), "Connect a loopback cable from your interface output to its input.",
                 RectF{20 * s, 16 * s, width - 20 * s, 36 * s}, guiBrush(kBrushText78), TextAlignment::Leading,
                 ParagraphAlignment::Center);
    drawTextUtf8(&context, guiTextFormat(kFormatControl), "Select the input device below and press Run Test.",
                 RectF{20 * s, 38 * s, width - 20 * s, 58 * s}, guiBrush(kBrushText55), TextAlignment::Leading,
                 ParagraphAlignment::Center);
    drawDropdown(context, d.inputList);
    drawButton(context, d.runButton);
    const float statusTop = d.runButton.rect.bottom + 16 * s;
    drawTextUtf8(&context, guiTextFormat(kFormatControl), d.statusText.c_str(),
                 RectF{20 * s, statusTop, width - 20 * s, statusTop + 40 * s},
                 guiBrush(d.testState == kLatencyResult ? kBrushAccent : kBrushText78), TextAlignment::Center,
                 ParagraphAlignment::Center);
    paintDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, d.closeButton);
    drawDropdownList(context, d.inputList);
}

void startLatencyTest(LatencyDialogState& d) {
    const int count = dropdownItemCount(d.inputList);
    if (d.testState == kLatencyTesting || count == 0)
        return;
    const int item = std::clamp(d.inputList.selected, 0, count - 1);
    // The name goes first: the request is raised only once it is in place.
    setLatencyInputName(d.inputNames[item]);
    gLatencyInputDevice.exchange(d.inputIndex[item]);
    gLatencyTestResultMs.store(-1.0f);
    int32_t none = kLatencyRequestNone;
    if (!gLatencyTestRequest.compare_exchange_strong(none, kLatencyRequestPending)) {
        d.statusText = kStatusBusy;  // an earlier request (from a closed dialog) still runs
        return;
    }
    d.testState = kLatencyTesting;
    d.statusText = kStatusTesting;
    d.runButton.enabled = 0;
    d.testStartMs = nowMs(d);
    setWindowTimer(currentDialogWindow(), kLatencyPollTimer, kLatencyPollMs);
}

bool latencyDialogTimer(uint32_t timerId, uintptr_t, intptr_t, void* user) {
    auto& d = *static_cast<LatencyDialogState*>(user);
    if (timerId != kLatencyPollTimer || d.testState != kLatencyTesting)
        return false;
    if (gLatencyTestRequest.load() != kLatencyRequestNone) {
        if (nowMs(d) - d.testStartMs < kLatencyGiveUpMs)
            return false;  // the worker clears the request when done
        int32_t pending = kLatencyRequestPending;
        const bool withdrawn = gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestNone);
        finishTest(d, kLatencyFailed, withdrawn ? kStatusNotStarted : kStatusNoAnswer);
        return true;
    }
    const float r = gLatencyTestResultMs.load();
    if (std::isfinite(r) && r > 0.0f) {
        char text[160];
        std::snprintf(text, sizeof text, "One-way: %.1f ms  (round-trip: %.1f ms)", static_cast<double>(r),
                      2.0 * static_cast<double>(r));
        finishTest(d, kLatencyResult, text);
    } else {
        const std::string error = latencyTestError();
        finishTest(d, kLatencyFailed, error.empty() ? std::string(kStatusFailed) : "Test failed: " + error);
    }
    return true;
}

namespace {

void latencyDialogWidget(int id, void* user) {
    auto& d = *static_cast<LatencyDialogState*>(user);
    if (id == kClose) {
        endLatencyDialog(d);
        closeDialog(0);
    } else if (id == kRun) {
        startLatencyTest(d);
    }
}

}  // namespace

bool latencyDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<LatencyDialogState*>(user)->widgets, message, x, y, wParam, latencyDialogWidget,
                            user);
}

bool latencyDialogKey(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& d = *static_cast<LatencyDialogState*>(user);
    if (message != kWmKeyDown)
        return false;
    if (wParam == static_cast<uintptr_t>(kVkEscape)) {
        endLatencyDialog(d);
        closeDialog(0);
        return false;
    }
    // Up and Down choose the input (the list open or not); Enter closes an open list.
    return dropdownKey(d.inputList, static_cast<int>(wParam)) != kWidgetNone;
}

void endLatencyDialog(LatencyDialogState& d) {
    if (d.testState == kLatencyTesting) {
        // A request no worker took yet must not start later without anyone
        // watching; one that runs finishes on its own.
        int32_t pending = kLatencyRequestPending;
        gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestNone);
        killWindowTimer(currentDialogWindow(), kLatencyPollTimer);
        d.testState = kLatencyIdle;
    }
}

int measureLatencyDialog(WindowHandle parent) {
    LatencyDialogState d;
    initLatencyDialog(d, inputDevices());
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Measure Latency";
    spec.width = kLatencyWidth;
    spec.height = kLatencyHeight;
    spec.onPaint = paintLatencyDialog;
    spec.onMouse = latencyDialogMouse;
    spec.onKey = latencyDialogKey;
    spec.onTimer = latencyDialogTimer;
    spec.userData = &d;
    runModalDialog(spec);
    endLatencyDialog(d);
    return 0;
}

}  // namespace qv
