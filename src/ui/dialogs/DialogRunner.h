#pragma once
// How the dialogs of this folder run: through the dialog host's
// runModalDialog, or through a runner that a test installs to drive the
// dialog's callbacks without a window. GUI thread only.

#include "ui/DialogHost.h"

namespace qv {

using DialogRunner = int (*)(const DialogSpec& spec);

// Runs the dialog with the installed runner (runModalDialog by default) and
// returns its result code.
int runDialog(const DialogSpec& spec);
// Tests only; null restores runModalDialog.
void setDialogRunner(DialogRunner runner);

}  // namespace qv
