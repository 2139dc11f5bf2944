#include "ui/dialogs/OpenInDesktop.h"

#include "platform/DesktopOpener.h"
#include "ui/MessageBox.h"

namespace qv {

bool openInDesktop(WindowHandle parent, const std::string& target, const char* title) {
    std::string error;
    if (desktopOpener().open(target, &error))
        return true;
    const std::string text = "It could not be opened (" + error + ").\n\nOpen it yourself:\n" + target;
    messageBoxes().show(parent, title, text.c_str(), MessageKind::Warning);
    return false;
}

}  // namespace qv
