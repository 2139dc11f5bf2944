#pragma once
// The desktop's file dialogs for choosing one file to save or open, behind
// one interface: the XDG desktop portal's FileChooser on the session bus, or
// a helper program (zenity, kdialog) started with an argument vector. A
// dialog of the program's own, drawn with its widget kit, lives in the user
// interface and implements the same interface.
//
// A dialog never blocks its caller outright: while it is open the caller's
// wait function runs (the GUI thread dispatches its messages there), and
// when that function says the program is quitting the dialog is closed and
// kQuit returned. GUI thread only.

#include <functional>
#include <memory>
#include <string>

namespace qv {

enum class FileDialogMode { kSave, kOpen };

struct FileDialogRequest {
    FileDialogMode mode = FileDialogMode::kOpen;
    std::string title;
    std::string filterName;     // "QV Profile (*.qvprofile)"
    std::string filterPattern;  // "*.qvprofile"
    std::string proposedName;   // save: the file name offered
    std::string folder;         // where the dialog starts (no trailing "/" needed)
    std::string parentWindow;   // "x11:<hex id>" of the owner window, or empty (helpers get --attach)
};

enum class FileDialogStatus {
    kChosen,
    kCancelled,
    kUnavailable,  // this kind of dialog cannot run here; try the next
    kFailed,       // it ran and broke (error says why)
    kQuit,         // the wait function asked to stop; the dialog was closed
};

struct FileDialogResult {
    FileDialogStatus status = FileDialogStatus::kUnavailable;
    std::string path;  // kChosen: an absolute path
    // True when the dialog itself already asked before replacing an
    // existing file at `path` (the portal does; helper programs may not).
    bool overwriteConfirmed = false;
    std::string error;
};

// Runs the caller's loop for at most waitMs; false when the program quits.
using FileDialogWait = std::function<bool(int waitMs)>;

class IFileDialog {
public:
    virtual ~IFileDialog() = default;
    virtual FileDialogResult run(const FileDialogRequest& request, const FileDialogWait& wait) = 0;
};

// The portal on the bus of DBUS_SESSION_BUS_ADDRESS. kUnavailable when there
// is no session bus or no portal answers the call.
std::unique_ptr<IFileDialog> createPortalFileDialog();

// zenity, then kdialog, found on PATH. kUnavailable when neither is there or
// the one found cannot show a dialog (no display).
std::unique_ptr<IFileDialog> createHelperProgramFileDialog();

// The user's documents folder (XDG user dirs), else the home folder.
std::string documentsFolder();

}  // namespace qv
