#include "ui/MessageBox.h"
namespace qv {
namespace {
class NoBoxes : public IMessageBoxes {
public:
    void show(WindowHandle, const char*, const char*, MessageKind) override {}
    bool askYesNo(WindowHandle, const char*, const char*) override { return false; }
};
NoBoxes gNone;
IMessageBoxes* gBoxes = &gNone;
}  // namespace
IMessageBoxes& messageBoxes() { return *gBoxes; }
void setMessageBoxes(IMessageBoxes* boxes) { gBoxes = boxes ? boxes : &gNone; }
}  // namespace qv
