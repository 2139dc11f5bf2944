#pragma once
// Temporary stand-in.
#include "platform/Window.h"
namespace qv {
struct PopupMenuItem { int id = 0; const char* label = nullptr; bool separator = false; bool enabled = true; };
int runPopupMenu(WindowHandle owner, float x, float y, const PopupMenuItem* items, int count);
using PopupMenuRunner = int (*)(WindowHandle, float, float, const PopupMenuItem*, int);
void setPopupMenuRunner(PopupMenuRunner runner);
}  // namespace qv
