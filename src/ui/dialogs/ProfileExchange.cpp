#include "ui/dialogs/ProfileExchange.h"

#include "platform/Files.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "ui/dialogs/ProfileFileChooser.h"
#include "ui/dialogs/ProfileTransfer.h"
#include "ui/panels/ProfileActions.h"

namespace qv {

bool exportProfile(WindowHandle owner) {
    const HapticSettings settings = gSettings.snapshot();
    const int sim = selectedSimOf(settings);
    const std::string name(textOf(settings.activeProfile[sim]));
    const std::string proposed = (name.empty() ? std::string(kDefaultProfileName) : name) + kProfileExtension;
    std::string path;
    if (!chooseExportPath(owner, proposed, path))
        return false;
    // Read again: the settings may have changed while the dialog was open.
    const HapticSettings current = gSettings.snapshot();
    const std::string text =
        profileJsonText(current.effectProfiles[sim], sim, textOf(current.activeProfile[sim]));
    std::string error;
    if (!writeFileAtomically(path, text, &error)) {
        reportProfileError(owner, "Export Profile", "The profile could not be exported to " + path + ".\n\n" + error);
        return false;
    }
    return true;
}

bool importProfile(WindowHandle owner) {
    std::string path;
    if (!chooseImportPath(owner, path))
        return false;
    const char* title = "Import Profile";
    std::string text, error;
    switch (readRegularFile(path, text, kMaxImportBytes, &error)) {
    case FileReadStatus::kOk:
        break;
    case FileReadStatus::kTooLarge:
        reportProfileError(owner, title, path + " is larger than 1 MiB and cannot be a profile; nothing was imported.");
        return false;
    default:
        reportProfileError(owner, title, "Could not load profile from " + path + ".\n\n" + error);
        return false;
    }
    const std::string name = cleanOutsideProfileName(importedProfileName(path));
    if (name.empty()) {
        reportProfileError(owner, title,
                           "The file name of " + path + " cannot be used as a profile name; rename the file and "
                           "import it again.");
        return false;
    }
    const HapticSettings current = gSettings.snapshot();
    const int sim = selectedSimOf(current);
    HapticSettings scratch = current;
    if (!readProfileText(scratch.effectProfiles[sim], text, &error, ProfileRoot::kObjectOnly)) {
        reportProfileError(owner, title,
                           "Could not load profile \"" + name + "\" from " + path +
                               "; nothing was changed.\n\n" + error);
        return false;
    }
    const std::string base = profileBaseFolder();
    if (!confirmProfileTarget(owner, title, base, sim, name))
        return false;
    if (!saveProfile(scratch, base, sim, name, &error)) {
        reportProfileError(owner, title, "Profile \"" + name + "\" could not be saved; nothing was changed.\n\n" + error);
        return false;
    }
    activateProfile(owner, sim, name, scratch.effectProfiles[sim]);
    return true;
}

}  // namespace qv
