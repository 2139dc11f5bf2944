// STAND-IN until the GUI host lands: the smallest bodies of the shared GUI
// contract that let the dialogs build and run without a window. Deleted when
// the real host is merged.

#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"

namespace qv {

bool postWindowMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) { return false; }
void invalidateWindow(WindowHandle) {}
void setMouseCapture(WindowHandle) {}
void releaseMouseCapture() {}

int runModalDialog(const DialogSpec&) { return -1; }
void closeDialog(int) {}
WindowHandle currentDialogWindow() { return nullptr; }
bool isDialogOpen() { return false; }

namespace {
class NoBoxes final : public IMessageBoxes {
public:
    void show(WindowHandle, const char*, const char*, MessageKind) override {}
    bool askYesNo(WindowHandle, const char*, const char*) override { return false; }
};
NoBoxes gNoBoxes;
IMessageBoxes* gBoxes = &gNoBoxes;
}  // namespace
IMessageBoxes& messageBoxes() { return *gBoxes; }
void setMessageBoxes(IMessageBoxes* boxes) { gBoxes = boxes ? boxes : &gNoBoxes; }

void GuiHost::playTestTone(int channel, int durationMs, float gain, int streamIndex) {
    if (testToneFn)
        testToneFn(channel, durationMs, gain, streamIndex);
}

DialogEntries& dialogEntries() {
    static DialogEntries entries{};
    return entries;
}
void installGuiHooks() {}

}  // namespace qv
