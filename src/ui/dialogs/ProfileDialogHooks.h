#pragma once
// Puts the profile dialogs (load, save as, export, import, community
// profiles, share) into the main window's dialog entries. Called once by
// installGuiHooks on the GUI thread.

namespace qv {

void installProfileDialogs();

}  // namespace qv
