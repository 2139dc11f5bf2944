#pragma once
// Opens a web address or a file with the desktop (platform/DesktopOpener.h);
// when that fails, a message box shows the address so the user can copy it.
// GUI thread.

#include "platform/Window.h"

#include <string>

namespace qv {

// True when the opener started; false after the message box was shown.
bool openInDesktop(WindowHandle parent, const std::string& target, const char* title);

}  // namespace qv
