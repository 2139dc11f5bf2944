#pragma once
// Choosing the file of a profile export or import: the desktop portal, else
// zenity or kdialog, else the program's own path dialog (PathDialog.h), all
// behind IFileDialog. The owner window is disabled while an outside dialog
// is open and the GUI's messages keep flowing; a quit closes the dialog.
// GUI thread only.

#include "platform/FileDialog.h"
#include "platform/Window.h"

#include <string>

namespace qv {

inline constexpr const char* kProfileFilterName = "QV Profile (*.qvprofile)";
inline constexpr const char* kProfileFilterPattern = "*.qvprofile";
inline constexpr const char* kProfileExtension = ".qvprofile";

// Tests install a fake; null restores the chain of real dialogs.
void setProfileFileDialog(IFileDialog* dialog);
// The folder the dialogs start in; empty restores the documents folder.
void setProfileFileDialogFolder(std::string folder);

// Save: the chosen path with ".qvprofile" added when it lacks it; when the
// dialog did not itself ask, an existing file is replaced only after the
// user agreed. False when cancelled, declined or failed (a failure is shown).
bool chooseExportPath(WindowHandle owner, const std::string& proposedName, std::string& path);
// Open: the chosen path. False when cancelled or failed (a failure is shown).
bool chooseImportPath(WindowHandle owner, std::string& path);

}  // namespace qv
