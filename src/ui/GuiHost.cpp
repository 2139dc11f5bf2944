#include "ui/GuiHost.h"
namespace qv {
std::atomic<GuiHost*> gGuiHost{nullptr};
std::atomic<PlatformWindow*> gMainWindow{nullptr};
}  // namespace qv
