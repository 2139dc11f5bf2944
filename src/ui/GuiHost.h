#pragma once
// STAND-IN until the GUI host lands (shared GUI contract): only the members
// the dialogs use.

#include "platform/Window.h"

#include <functional>

namespace qv {

class GuiHost {
public:
    std::function<void(int channel, int durationMs, float gain, int streamIndex)> testToneFn;
    std::function<void(int effect, bool on)> effectPreviewFn;
    void playTestTone(int channel, int durationMs, float gain, int streamIndex);
};

}  // namespace qv
