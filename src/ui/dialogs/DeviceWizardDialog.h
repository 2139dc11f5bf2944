#pragma once
// The device wizard as a dialog of the main window: opened on
// kMsgDeviceSetup (posted at start-up when no device is configured) and from
// the header's device icon. GUI thread only.

#include "platform/Window.h"

namespace qv {

class GuiHost;

// Runs the wizard modally over `parent`. With a host, the wizard lists its
// devices and restarts audio and plays tones through its callables; without
// one it lists nothing. Posts kMsgRefreshEffects to the parent when the user
// applied. The log goes to the host's settings folder (the application data
// folder when the host names none).
void openDeviceWizard(WindowHandle parent, GuiHost* host);

// The wizard's state behind the user pointer of its dialog (tests that run
// the dialog through their own runner).
struct WizardState;
const WizardState* wizardStateOf(const void* userData);

// Puts openDeviceWizard into the main window's dialog entries unless an
// entry is already there.
void installDeviceWizard();

}  // namespace qv
