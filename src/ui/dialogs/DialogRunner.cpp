#include "ui/dialogs/DialogRunner.h"

namespace qv {

namespace {
DialogRunner gRunner = nullptr;  // GUI thread only
}  // namespace

int runDialog(const DialogSpec& spec) { return gRunner ? gRunner(spec) : runModalDialog(spec); }

void setDialogRunner(DialogRunner runner) { gRunner = runner; }

}  // namespace qv
