#pragma once
// Temporary stand-in.
#include "platform/Window.h"
#include <atomic>
#include <functional>
namespace qv {
class GuiHost {
public:
    std::function<bool(int paIndex, int channels, int bufferSize)> reopenAudioFn;
    std::function<void(int simIndex)> selectSimFn;
    std::function<void(int channel, int durationMs, float gain, int streamIndex)> testToneFn;
    std::function<void(int effect, bool on)> effectPreviewFn;
};
extern std::atomic<GuiHost*> gGuiHost;
extern std::atomic<PlatformWindow*> gMainWindow;
}  // namespace qv
