#include "ui/dialogs/ProfileFileChooser.h"

#include "platform/PathKind.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/PathDialog.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace qv {

namespace {

IFileDialog* gOverride = nullptr;
std::string gFolderOverride;

// Tries each dialog until one can run.
class FileDialogChain final : public IFileDialog {
public:
    FileDialogResult run(const FileDialogRequest& request, const FileDialogWait& wait) override {
        if (!m_portal) {
            m_portal = createPortalFileDialog();
            m_helpers = createHelperProgramFileDialog();
            m_own = createPathDialog();
        }
        FileDialogResult result;
        for (IFileDialog* dialog : {m_portal.get(), m_helpers.get(), m_own.get()}) {
            result = dialog->run(request, wait);
            if (result.status != FileDialogStatus::kUnavailable)
                return result;
        }
        return result;
    }

private:
    std::unique_ptr<IFileDialog> m_portal, m_helpers, m_own;
};

FileDialogChain& chain() {
    static FileDialogChain instance;
    return instance;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

FileDialogResult runChosen(WindowHandle owner, FileDialogRequest request) {
    request.folder = gFolderOverride.empty() ? documentsFolder() : gFolderOverride;
    request.filterName = kProfileFilterName;
    request.filterPattern = kProfileFilterPattern;
    // The outside dialog is owned by the (disabled) owner, so the desktop
    // shows it above that window, not behind it.
    request.parentWindow.clear();
    if (const uint64_t id = owner ? x11WindowId(owner) : 0; id != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "x11:%llx", static_cast<unsigned long long>(id));
        request.parentWindow = text;
    }
    IFileDialog& dialog = gOverride ? *gOverride : chain();
    // The owner takes no input while an outside dialog is open; its
    // messages (paint, timers, a quit) still run in the wait.
    if (owner)
        enableWindow(owner, false);
    FileDialogResult result = dialog.run(request, [](int waitMs) { return pumpMessages(waitMs); });
    if (owner)
        enableWindow(owner, true);
    if (result.status == FileDialogStatus::kFailed || result.status == FileDialogStatus::kUnavailable) {
        const std::string text = "The file dialog could not be shown.\n\n" + result.error;
        messageBoxes().show(owner, request.title.c_str(), text.c_str(), MessageKind::Error);
    }
    return result;
}

}  // namespace

void setProfileFileDialog(IFileDialog* dialog) { gOverride = dialog; }

void setProfileFileDialogFolder(std::string folder) { gFolderOverride = std::move(folder); }

bool chooseExportPath(WindowHandle owner, const std::string& proposedName, std::string& path) {
    FileDialogRequest request;
    request.mode = FileDialogMode::kSave;
    request.title = "Export Profile";
    request.proposedName = proposedName;
    const FileDialogResult result = runChosen(owner, request);
    if (result.status != FileDialogStatus::kChosen)
        return false;
    path = result.path;
    bool confirmed = result.overwriteConfirmed;
    if (!endsWith(path, kProfileExtension)) {
        path += kProfileExtension;
        confirmed = false;  // the dialog asked about another name, if at all
    }
    if (!confirmed && pathKindNoFollow(path) != PathKind::kMissing) {
        const std::string question = path + " already exists.\nReplace it?";
        return messageBoxes().askYesNo(owner, "Export Profile", question.c_str());
    }
    return true;
}

bool chooseImportPath(WindowHandle owner, std::string& path) {
    FileDialogRequest request;
    request.mode = FileDialogMode::kOpen;
    request.title = "Import Profile";
    const FileDialogResult result = runChosen(owner, request);
    if (result.status != FileDialogStatus::kChosen)
        return false;
    path = result.path;
    return true;
}

}  // namespace qv
