#pragma once
// What the profile bar and the status bar do to the settings: switching the
// simulator, stepping through the saved profiles, saving, and resetting the
// effects to the defaults. GUI thread only; every change goes through
// gSettings.edit and raises the dirty flag, except the menu's saves, which
// only write files.
//
// Failures (a profile that does not load, a save that does not write) are
// shown to the user in a message box owned by the main window and leave the
// live settings as they were.

#include "platform/Window.h"

#include <string>

namespace qv {

class GuiHost;

// The folder the profiles live under (ending in "/"): the application data
// folder unless set (tests set a temporary one).
const std::string& profileBaseFolder();
void setProfileBaseFolder(std::string folder);

// The simulator the selector's arrows lead to: they cycle through iRacing,
// ACC, LMU, AC EVO and AC (rFactor 2 is reached only through the settings
// file; from it the arrows lead to AC and ACC). step is -1 or +1.
int nextSimulator(int selectedSim, int step);

// Stores sim as the selected simulator, asks the host to switch engines
// (when it can), refreshes the profile list and asks the window to rebuild
// its cards.
void switchSimulator(WindowHandle window, GuiHost* host, int sim);

// Makes the profile at index (wrapping at both ends) the active one of the
// selected simulator. The outgoing profile is saved first. The new profile
// is read into a scratch block; only when that succeeds do its values and
// name replace the active ones. Nothing happens with an empty list.
void selectProfileByIndex(WindowHandle window, int index);

// The menu's "Save" and "Save All": writes the active profile of the selected
// simulator, or of every simulator. False (and a message) when a file could
// not be written.
bool saveActiveProfile(WindowHandle window);
bool saveAllProfiles(WindowHandle window);

// "Defaults": after the user agreed, saves the outgoing profile and copies
// the selected simulator's default effect block over the live one.
void resetEffectsToDefaults(WindowHandle window);

}  // namespace qv
