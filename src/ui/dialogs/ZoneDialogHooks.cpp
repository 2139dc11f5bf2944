#include "ui/dialogs/ZoneDialogHooks.h"

#include "ui/GuiHooks.h"
#include "ui/dialogs/ChannelRoutingDialog.h"
#include "ui/dialogs/ZoneSetupDialog.h"

namespace qv {

void installZoneDialogs() {
    DialogEntries& entries = dialogEntries();
    entries.openChannelRouting = openChannelRouting;
    entries.openZoneSetup = openZoneSetup;
}

}  // namespace qv
