#pragma once
// The popup menu of the program: a small undecorated window drawn with the
// widget kit, run as a nested loop. GUI thread only.

#include "platform/Window.h"

namespace qv {

struct PopupMenuItem {
    int id = 0;
    const char* label = nullptr;
    bool separator = false;
    bool enabled = true;
};

// Shows the items at (x, y) in the owner's client pixels (screen pixels when
// owner is null) and returns the chosen id; 0 when dismissed (Escape, a click
// elsewhere, the focus lost, or no window could be made).
int runPopupMenu(WindowHandle owner, float x, float y, const PopupMenuItem* items, int count);
using PopupMenuRunner = int (*)(WindowHandle, float, float, const PopupMenuItem*, int);
void setPopupMenuRunner(PopupMenuRunner runner);  // tests; null restores the real one

}  // namespace qv
