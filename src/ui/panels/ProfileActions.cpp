#include "ui/panels/ProfileActions.h"

#include "platform/Folders.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileList.h"
#include "ui/AppMessages.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/panels/MainWindowBands.h"

namespace qv {

namespace {

void reportError(WindowHandle window, const char* title, const std::string& text) {
    messageBoxes().show(window, title, text.c_str(), MessageKind::Error);
}

int selectedSimOf(const HapticSettings& settings) {
    return isValidSimIndex(settings.selectedSim) ? settings.selectedSim : kIRacing;
}

// Writes the profile that is about to be replaced, so that its last edits are
// kept under its own name: the routine save runs later and would write them
// under the incoming name instead.
void saveOutgoingProfile(WindowHandle window, const HapticSettings& settings, int sim) {
    const std::string name(textOf(settings.activeProfile[sim]));
    std::string error;
    if (!saveProfile(settings, profileBaseFolder(), sim, name, &error))
        reportError(window, "Save Profile",
                    "The changes to profile \"" + name + "\" could not be saved.\n\n" + error);
}

}  // namespace

const std::string& profileBaseFolder() {
    BandConnections& connections = mainWindowBands().connections;
    if (!connections.profileFolderSet) {
        connections.profileFolder = appDataFolder();
        connections.profileFolderSet = true;
    }
    return connections.profileFolder;
}

void setProfileBaseFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    BandConnections& connections = mainWindowBands().connections;
    connections.profileFolder = std::move(folder);
    connections.profileFolderSet = !connections.profileFolder.empty();
}

int nextSimulator(int selectedSim, int step) {
    const int current = isValidSimIndex(selectedSim) ? selectedSim : kIRacing;
    return step < 0 ? (current + 4) % 5 : (current + 1) % 5;
}

void switchSimulator(WindowHandle window, GuiHost* host, int sim) {
    if (!isValidSimIndex(sim))
        return;
    gSettings.edit([sim](HapticSettings& s) { s.selectedSim = sim; });
    if (host && host->selectSimFn)
        host->selectSimFn(sim);
    gProfileList.refreshProfileList(profileBaseFolder(), sim);
    postWindowMessage(window, kMsgRefreshEffects, 0, 0);
}

void selectProfileByIndex(WindowHandle window, int index) {
    const int count = gProfileList.profileCount();
    if (count <= 0)
        return;
    const std::string name = gProfileList.profileNameAt(((index % count) + count) % count);
    const HapticSettings current = gSettings.snapshot();
    const int sim = selectedSimOf(current);
    saveOutgoingProfile(window, current, sim);

    HapticSettings scratch = current;
    std::string error;
    if (!loadProfile(scratch, profileBaseFolder(), sim, name, &error)) {
        reportError(window, "Load Profile",
                    "Profile \"" + name + "\" could not be loaded; \"" +
                        std::string(textOf(current.activeProfile[sim])) + "\" stays active.\n\n" + error);
        return;
    }
    const EffectProfile loaded = scratch.effectProfiles[sim];
    gSettings.edit([&](HapticSettings& s) {
        s.effectProfiles[sim] = loaded;
        copyText(s.activeProfile[sim], name.c_str());
    });
    gProfileList.refreshProfileList(profileBaseFolder(), sim);
    postWindowMessage(window, kMsgRefreshEffects, 0, 0);
}

bool saveActiveProfile(WindowHandle window) {
    const HapticSettings settings = gSettings.snapshot();
    const int sim = selectedSimOf(settings);
    const std::string name(textOf(settings.activeProfile[sim]));
    std::string error;
    if (saveProfile(settings, profileBaseFolder(), sim, name, &error))
        return true;
    reportError(window, "Save Profile", "Profile \"" + name + "\" could not be saved.\n\n" + error);
    return false;
}

bool saveAllProfiles(WindowHandle window) {
    const HapticSettings settings = gSettings.snapshot();
    std::string failures;
    for (int sim = 0; sim < kSimCount; ++sim) {
        const std::string name(textOf(settings.activeProfile[sim]));
        std::string error;
        if (!saveProfile(settings, profileBaseFolder(), sim, name, &error))
            failures += std::string(kSimKeys[sim]) + " \"" + name + "\": " + error + "\n";
    }
    if (failures.empty())
        return true;
    reportError(window, "Save All", "These profiles could not be saved:\n\n" + failures);
    return false;
}

void resetEffectsToDefaults(WindowHandle window) {
    const HapticSettings current = gSettings.snapshot();
    const int sim = selectedSimOf(current);
    saveOutgoingProfile(window, current, sim);
    const HapticSettings defaults;
    const EffectProfile fresh = defaults.effectProfiles[sim];
    gSettings.edit([&](HapticSettings& s) { s.effectProfiles[sim] = fresh; });
    postWindowMessage(window, kMsgRefreshEffects, 0, 0);
}

}  // namespace qv
