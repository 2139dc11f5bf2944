#include "ui/dialogs/ProfileTransfer.h"

#include "platform/PathKind.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileName.h"
#include "ui/AppMessages.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/panels/ProfileActions.h"

namespace qv {

int selectedSimOf(const HapticSettings& settings) {
    return isValidSimIndex(settings.selectedSim) ? settings.selectedSim : kIRacing;
}

std::string importedProfileName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = file.rfind('.');
    if (dot != std::string_view::npos)
        file = file.substr(0, dot);
    return std::string(file);
}

void reportProfileError(WindowHandle owner, const char* title, const std::string& text) {
    messageBoxes().show(owner, title, text.c_str(), MessageKind::Error);
}

bool confirmProfileTarget(WindowHandle owner, const char* title, const std::string& base, int sim,
                          const std::string& name) {
    std::string path, error;
    if (!profilePath(base, sim, name, path, &error)) {
        reportProfileError(owner, title, "\"" + name + "\" cannot be used as a profile name.\n\n" + error);
        return false;
    }
    switch (pathKindNoFollow(path, &error)) {
    case PathKind::kMissing:
        return true;
    case PathKind::kRegular: {
        const std::string question = "A profile named \"" + name + "\" already exists.\nReplace it?";
        return messageBoxes().askYesNo(owner, title, question.c_str());
    }
    case PathKind::kSymbolicLink:
    case PathKind::kOther:
        reportProfileError(owner, title,
                           "Profile \"" + name + "\" was not written: " + path +
                               " is not a regular file (a link or a folder is in its place).");
        return false;
    case PathKind::kError:
        break;
    }
    reportProfileError(owner, title, "Profile \"" + name + "\" was not written.\n\n" + error);
    return false;
}

void activateProfile(WindowHandle owner, int sim, const std::string& name, const EffectProfile& profile) {
    if (!isValidSimIndex(sim))
        return;
    const HapticSettings current = gSettings.snapshot();
    const std::string outgoing(textOf(current.activeProfile[sim]));
    if (outgoing != name && isValidProfileName(outgoing)) {
        std::string error;
        if (!saveProfile(current, profileBaseFolder(), sim, outgoing, &error))
            reportProfileError(owner, "Save Profile",
                               "The changes to profile \"" + outgoing + "\" could not be saved.\n\n" + error);
    }
    gSettings.edit([&](HapticSettings& s) {
        s.effectProfiles[sim] = profile;
        copyText(s.activeProfile[sim], name.c_str());
    });
    postProfileRefresh(owner);
}

bool fallBackToDefaultProfile(WindowHandle owner, const std::string& base, int sim, std::string* error) {
    if (!isValidSimIndex(sim))
        return false;
    HapticSettings scratch = gSettings.snapshot();
    const bool loaded = loadProfile(scratch, base, sim, kDefaultProfileName, error);
    const EffectProfile profile = loaded ? scratch.effectProfiles[sim] : HapticSettings().effectProfiles[sim];
    gSettings.edit([&](HapticSettings& s) {
        s.effectProfiles[sim] = profile;
        copyText(s.activeProfile[sim], kDefaultProfileName);
    });
    postProfileRefresh(owner);
    return loaded;
}

void postProfileRefresh(WindowHandle owner) {
    if (owner)
        postWindowMessage(owner, kMsgRefreshEffects, 0, 0);
    WindowHandle main = gMainWindow.load();
    if (main && main != owner)
        postWindowMessage(main, kMsgRefreshEffects, 0, 0);
}

bool deleteProfileFile(const std::string& base, int sim, const std::string& name, std::string* error) {
    if (!isValidSimIndex(sim) || name == kDefaultProfileName)
        return false;
    std::string path;
    if (!profilePath(base, sim, name, path, error))
        return false;
    return removeFile(path, error);
}

}  // namespace qv
