#pragma once
// Plugs the channel routing and zone setup dialogs into the main window's
// dialog table. Called once by installGuiHooks() on the GUI thread.

namespace qv {

void installZoneDialogs();

}  // namespace qv
