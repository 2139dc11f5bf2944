#include "ui/PopupMenu.h"
namespace qv {
namespace { PopupMenuRunner gRunner = nullptr; }
int runPopupMenu(WindowHandle owner, float x, float y, const PopupMenuItem* items, int count) {
    return gRunner ? gRunner(owner, x, y, items, count) : 0;
}
void setPopupMenuRunner(PopupMenuRunner runner) { gRunner = runner; }
}  // namespace qv
