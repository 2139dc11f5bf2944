#pragma once
// The program's own file dialog, for desktops without a portal, zenity or
// kdialog: one text field holding the full path, OK and Cancel. Drawn with
// the widget kit in the dialog host. GUI thread only.

#include "platform/FileDialog.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <memory>
#include <string>

namespace qv {

struct PathDialogState {
    FileDialogMode mode = FileDialogMode::kOpen;
    UiTextField field;
    UiButton ok, cancel;
    WidgetList widgets;   // filled by the layout of each paint
    std::string problem;  // why OK did not close, shown above the buttons
    bool caretTimerStarted = false;
};

void initPathDialogState(PathDialogState& state, const FileDialogRequest& request);
void paintPathDialog(DrawContext& context, float width, float height, void* user);
bool mousePathDialog(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keyPathDialog(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// OK: closes with 1 when the path is acceptable (absolute; for opening, a
// regular file; for saving, not a folder), else sets `problem`.
void acceptPathDialog(PathDialogState& state);

std::unique_ptr<IFileDialog> createPathDialog();

}  // namespace qv
