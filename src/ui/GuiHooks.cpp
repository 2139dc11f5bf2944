#include "ui/GuiHooks.h"

#include "ui/panels/MainWindowBands.h"
#include "ui/dialogs/ProfileDialogHooks.h"
#include "ui/dialogs/ZoneDialogHooks.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/DeviceWizardDialog.h"

namespace qv {

DialogEntries& dialogEntries() {
    static DialogEntries entries;
    return entries;
}

void installGuiHooks() {
    // One line per part that plugs in.
    installMainWindowBands();
    installZoneDialogs();
    installProfileDialogs();
    installSettingsDialogs();
    installDeviceWizard();
}

}  // namespace qv
