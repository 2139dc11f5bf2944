#include "ui/GuiHooks.h"
#include "ui/panels/MainWindowBands.h"
namespace qv {
namespace { MainWindowBands gBands{}; DialogEntries gEntries{}; }
MainWindowBands& mainWindowBands() { return gBands; }
DialogEntries& dialogEntries() { return gEntries; }
void installGuiHooks() {
    installMainWindowBands();
}
}  // namespace qv
