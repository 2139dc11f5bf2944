// Stand-in for the status-notifier tray until its implementation is in the
// tree: no tray, so close-to-tray minimises and says why. Delete this file
// when Tray.cpp (the StatusNotifierItem on the session bus) is added.

#include "platform/Tray.h"

namespace qv {

std::unique_ptr<ITray> createStatusNotifierTray() { return nullptr; }

}  // namespace qv
