#include "ui/dialogs/PathDialog.h"

#include "platform/Files.h"
#include "platform/PathKind.h"
#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/ProfileDialogPaint.h"

namespace qv {

namespace {

enum { kOk, kCancel };

void layout(PathDialogState& state, float width, float height) {
    const float s = dpiScale();
    state.field.rect = RectF{20 * s, 56 * s, width - 20 * s, 92 * s};
    const float top = height - 40 * s, bottom = top + 32 * s;
    const float half = (width - 48 * s) / 2;
    state.cancel.rect = RectF{20 * s, top, 20 * s + half, bottom};
    state.ok.rect = RectF{state.cancel.rect.right + 8 * s, top, width - 20 * s, bottom};
    state.widgets.clear();
    state.widgets.addFocusField(state.field, kNoWidget);
    state.widgets.add(state.ok, kOk);
    state.widgets.add(state.cancel, kCancel);
}

bool isFolder(const std::string& path) {
    std::string contents;
    return readRegularFile(path, contents, 0) == FileReadStatus::kNotRegular;
}

class PathDialog final : public IFileDialog {
public:
    FileDialogResult run(const FileDialogRequest& request, const FileDialogWait&) override {
        PathDialogState state;
        initPathDialogState(state, request);
        DialogSpec spec;
        spec.parent = nullptr;
        spec.title = request.title.empty() ? nullptr : request.title.c_str();
        spec.width = 520;
        spec.height = 210;
        spec.onPaint = paintPathDialog;
        spec.onMouse = mousePathDialog;
        spec.onKey = keyPathDialog;
        spec.onTimer = [](uint32_t id, uintptr_t, intptr_t, void*) { return id == kCaretBlinkTimer; };
        spec.userData = &state;
        FileDialogResult result;
        const int code = runModalDialog(spec);
        if (code < 0) {
            result.status = FileDialogStatus::kFailed;
            result.error = "no window could be made for the file dialog";
        } else if (code == 1) {
            result.status = FileDialogStatus::kChosen;
            result.path = state.field.text;
        } else {
            result.status = FileDialogStatus::kCancelled;
        }
        return result;
    }
};

}  // namespace

void initPathDialogState(PathDialogState& state, const FileDialogRequest& request) {
    state.mode = request.mode;
    std::string path = request.folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    if (request.mode == FileDialogMode::kSave)
        path += request.proposedName;
    setWidgetText(state.field.text, path.c_str());
    setWidgetText(state.field.placeholder, "/home/you/Documents/profile.qvprofile");
    state.field.caret = utf8CharacterCount(state.field.text);
    state.field.focused = 1;
    setWidgetText(state.ok.label, request.mode == FileDialogMode::kSave ? "Save" : "Open");
    state.ok.style = kButtonPrimary;
    setWidgetText(state.cancel.label, "Cancel");
}

void paintPathDialog(DrawContext& context, float width, float height, void* user) {
    auto& state = *static_cast<PathDialogState*>(user);
    ensureProfileDialogAppearance();
    layout(state, width, height);
    const float s = dpiScale();
    drawSectionLabel(context, state.mode == FileDialogMode::kSave ? "SAVE TO FILE" : "OPEN FILE", 20 * s, 16 * s,
                     width - 40 * s);
    drawTextField(context, state.field);
    drawStatusLine(context,
                   state.problem.empty() ? std::string("Files ending in .qvprofile hold one profile.") : state.problem,
                   state.problem.empty() ? kStatusNormal : kStatusError,
                   RectF{20 * s, 104 * s, width - 20 * s, 124 * s});
    drawProfileDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, state.cancel);
    drawButton(context, state.ok);
    if (!state.caretTimerStarted) {
        if (WindowHandle window = currentDialogWindow())
            state.caretTimerStarted = setWindowTimer(window, kCaretBlinkTimer, kCaretBlinkMs);
    }
}

void acceptPathDialog(PathDialogState& state) {
    const std::string path(state.field.text);
    if (path.empty() || path[0] != '/') {
        state.problem = "Enter the full path, starting with \"/\".";
        return;
    }
    if (state.mode == FileDialogMode::kOpen) {
        std::string contents;
        const FileReadStatus status = readRegularFile(path, contents, 0);
        if (status == FileReadStatus::kMissing || status == FileReadStatus::kNotRegular) {
            state.problem = "There is no file at that path.";
            return;
        }
    } else if (path.back() == '/' || isFolder(path)) {
        state.problem = "That is a folder; add a file name.";
        return;
    }
    state.problem.clear();
    closeDialog(1);
}

namespace {

void pathDialogWidget(int id, void* user) {
    if (id == kOk)
        acceptPathDialog(*static_cast<PathDialogState*>(user));
    else if (id == kCancel)
        closeDialog(0);
}

}  // namespace

bool mousePathDialog(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<PathDialogState*>(user)->widgets, message, x, y, wParam, pathDialogWidget, user);
}

bool keyPathDialog(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<PathDialogState*>(user);
    const int code = static_cast<int>(wParam);
    if (message == kWmChar)
        return textFieldChar(state.field, code) != kWidgetNone;
    if (message != kWmKeyDown)
        return false;
    if (code == kVkReturn) {
        acceptPathDialog(state);
        return true;
    }
    if (code == kVkEscape) {
        closeDialog(0);
        return false;
    }
    textFieldKey(state.field, code);
    return true;
}

std::unique_ptr<IFileDialog> createPathDialog() { return std::make_unique<PathDialog>(); }

}  // namespace qv
