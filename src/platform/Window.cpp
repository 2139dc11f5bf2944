#include "platform/Window.h"
namespace qv {
bool postWindowMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) { return false; }
}  // namespace qv
