#include "ui/dialogs/ProfileDialogHooks.h"

#include "ui/GuiHooks.h"
#include "ui/dialogs/CommunityProfilesDialog.h"
#include "ui/dialogs/ProfileDialogs.h"
#include "ui/dialogs/ProfileExchange.h"
#include "ui/dialogs/ShareProfileDialog.h"

namespace qv {

void installProfileDialogs() {
    DialogEntries& entries = dialogEntries();
    entries.openLoadProfile = loadProfileDialog;
    entries.openSaveProfileAs = saveProfileAsDialog;
    entries.exportProfile = [](WindowHandle parent) { exportProfile(parent); };
    entries.importProfile = [](WindowHandle parent) { importProfile(parent); };
    entries.openCommunityProfiles = communityProfilesDialog;
    entries.openShareProfile = shareProfileDialog;
}

}  // namespace qv
