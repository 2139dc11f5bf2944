#include "ui/dialogs/ProfileDialogs.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileName.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileTransfer.h"
#include "ui/panels/ProfileActions.h"

#include <algorithm>
#include <cctype>

namespace qv {

namespace {

// The widget ids of both dialogs (Cancel is in both).
enum { kList, kLoad, kRemove, kCancel, kSave };

bool validRow(const LoadProfileState& state) {
    return state.list.selected >= 0 && state.list.selected < static_cast<int>(state.names.size()) &&
           state.list.selected < listBoxItemCount(state.list);
}

void layoutLoadProfile(LoadProfileState& state, float width, float height) {
    const float s = dpiScale();
    state.list.rect = RectF{20 * s, 56 * s, width - 20 * s, height - 78 * s};
    const float top = height - 40 * s, bottom = top + 32 * s;
    const float buttonWidth = (width - 56 * s) / 3;
    state.cancel.rect = RectF{20 * s, top, 20 * s + buttonWidth, bottom};
    state.remove.rect = RectF{state.cancel.rect.right + 8 * s, top, state.cancel.rect.right + 8 * s + buttonWidth, bottom};
    state.load.rect = RectF{width - 20 * s - buttonWidth, top, width - 20 * s, bottom};
    state.widgets.clear();
    state.widgets.add(state.list, kList);
    state.widgets.add(state.load, kLoad);
    state.widgets.add(state.remove, kRemove);
    state.widgets.add(state.cancel, kCancel);
}

void setStatus(LoadProfileState& state, std::string text, int style) {
    state.status = std::move(text);
    state.statusStyle = style;
}

// Deletes the selected profile's file. Deleting the active profile makes
// "default" the active one at once, so no later save writes the deleted
// file again; the main window's profile bar follows either way.
void deleteSelected(LoadProfileState& state) {
    setStatus(state, {}, kStatusNone);
    if (!validRow(state))
        return;
    const std::string name = state.names[static_cast<size_t>(state.list.selected)];
    if (name == kDefaultProfileName) {
        setStatus(state, "The built-in \"default\" profile cannot be deleted.", kStatusError);
        return;
    }
    const bool wasActive = name == textOf(gSettings.snapshot().activeProfile[state.sim]);
    const int before = state.list.selected;
    std::string error;
    if (!deleteProfileFile(state.base, state.sim, name, &error)) {
        reportProfileError(currentDialogWindow(), "Load Profile",
                           "Profile \"" + name + "\" could not be deleted.\n\n" + error);
    } else if (!wasActive) {
        setStatus(state, "\"" + name + "\" deleted.", kStatusNormal);
        postProfileRefresh(state.parent);
    } else if (fallBackToDefaultProfile(state.parent, state.base, state.sim, &error)) {
        setStatus(state, "\"" + name + "\" deleted; \"default\" is active now.", kStatusNormal);
    } else {
        setStatus(state,
                  "\"" + name + "\" deleted; \"default\" could not be read, so it is active with the factory "
                  "settings: " + error,
                  kStatusError);
    }
    refreshLoadProfileList(state);
    state.list.selected = std::min(before, std::max(listBoxItemCount(state.list) - 1, 0));
}

// Save As takes letters, digits, blanks, "-" and "_".
bool isNameCharacter(int ch) {
    return ch >= 32 && ch <= 126 && (std::isalnum(ch) || ch == ' ' || ch == '-' || ch == '_');
}

void layoutSaveProfileAs(SaveProfileAsState& state, float width, float height) {
    const float s = dpiScale();
    state.field.rect = RectF{20 * s, 56 * s, width - 20 * s, 92 * s};
    const float top = height - 40 * s, bottom = top + 32 * s;
    const float half = (width - 48 * s) / 2;
    state.cancel.rect = RectF{20 * s, top, 20 * s + half, bottom};
    state.save.rect = RectF{state.cancel.rect.right + 8 * s, top, width - 20 * s, bottom};
    state.widgets.clear();
    state.widgets.addFocusField(state.field, kNoWidget);
    state.widgets.add(state.save, kSave);
    state.widgets.add(state.cancel, kCancel);
}

bool hasName(SaveProfileAsState& state) { return textFieldLength(state.field) > 0; }

}  // namespace

// --- Load Profile ------------------------------------------------------------

void initLoadProfileState(LoadProfileState& state, WindowHandle parent) {
    state.parent = parent;
    state.base = profileBaseFolder();
    state.sim = selectedSimOf(gSettings.snapshot());
    setWidgetText(state.load.label, "Load");
    state.load.style = kButtonPrimary;
    setWidgetText(state.remove.label, "Delete");
    state.remove.style = kButtonDestructive;
    setWidgetText(state.cancel.label, "Cancel");
    state.cancel.style = kButtonPlain;
    refreshLoadProfileList(state);
}

void refreshLoadProfileList(LoadProfileState& state) {
    state.names = enumerateProfiles(state.base, state.sim);
    std::vector<const char*> items;
    for (const std::string& name : state.names)
        items.push_back(name.c_str());
    listBoxSetItems(state.list, items.data(), static_cast<int>(items.size()));
    const std::string active(textOf(gSettings.snapshot().activeProfile[state.sim]));
    state.list.selected = 0;
    for (int row = 0; row < listBoxItemCount(state.list); ++row) {
        if (state.names[static_cast<size_t>(row)] == active) {
            state.list.selected = row;
            break;
        }
    }
    state.list.scroll = std::min(state.list.scroll, listBoxMaxScroll(state.list));
}

void paintLoadProfile(DrawContext& context, float width, float height, void* user) {
    auto& state = *static_cast<LoadProfileState*>(user);
    ensureProfileDialogAppearance();
    layoutLoadProfile(state, width, height);
    const float s = dpiScale();
    drawSectionLabel(context, "SAVED PROFILES", 20 * s, 16 * s, width - 40 * s);
    drawListBox(context, state.list);
    drawStatusLine(context, state.status, state.statusStyle,
                   RectF{20 * s, height - 74 * s, width - 20 * s, height - 54 * s});
    drawProfileDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, state.cancel);
    drawButton(context, state.remove);
    drawButton(context, state.load);
}

namespace {

void loadProfileWidget(int id, void* user) {
    auto& state = *static_cast<LoadProfileState*>(user);
    switch (id) {
    case kList: setStatus(state, {}, kStatusNone); break;
    case kLoad:
        if (validRow(state))
            closeDialog(1);
        break;
    case kRemove: deleteSelected(state); break;
    case kCancel: closeDialog(0); break;
    default: break;
    }
}

}  // namespace

bool mouseLoadProfile(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<LoadProfileState*>(user)->widgets, message, x, y, wParam, loadProfileWidget,
                            user);
}

bool keyLoadProfile(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<LoadProfileState*>(user);
    if (message != kWmKeyDown)
        return false;
    switch (static_cast<int>(wParam)) {
    case kVkReturn:
        if (validRow(state))
            closeDialog(1);
        return false;
    case kVkEscape:
        closeDialog(0);
        return false;
    case kVkUp:
        if (state.list.selected < 1)
            return false;
        --state.list.selected;
        setStatus(state, {}, kStatusNone);
        return true;
    case kVkDown:
        if (state.list.selected >= listBoxItemCount(state.list) - 1)
            return false;
        ++state.list.selected;
        setStatus(state, {}, kStatusNone);
        return true;
    case kVkDelete:
        deleteSelected(state);
        return true;
    default:
        return false;
    }
}

void finishLoadProfile(LoadProfileState& state, int result) {
    if (result != 1 || !validRow(state))
        return;
    const std::string name = state.names[static_cast<size_t>(state.list.selected)];
    HapticSettings scratch = gSettings.snapshot();
    std::string error;
    if (!loadProfile(scratch, state.base, state.sim, name, &error)) {
        reportProfileError(state.parent, "Load Profile",
                           "Could not load profile \"" + name + "\"; the active profile stays as it was.\n\n" +
                               error);
        return;
    }
    activateProfile(state.parent, state.sim, name, scratch.effectProfiles[state.sim]);
}

void loadProfileDialog(WindowHandle parent) {
    LoadProfileState state;
    initLoadProfileState(state, parent);
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Load Profile";
    spec.width = 420;
    spec.height = 360;
    spec.onPaint = paintLoadProfile;
    spec.onMouse = mouseLoadProfile;
    spec.onKey = keyLoadProfile;
    spec.userData = &state;
    finishLoadProfile(state, runModalDialog(spec));
}

// --- Save Profile As ---------------------------------------------------------

void initSaveProfileAsState(SaveProfileAsState& state, WindowHandle parent) {
    state.parent = parent;
    state.base = profileBaseFolder();
    setWidgetText(state.field.placeholder, "Enter profile name");
    setWidgetText(state.field.text, "MyProfile");
    state.field.caret = textFieldLength(state.field);
    state.field.focused = 1;
    setWidgetText(state.save.label, "Save");
    state.save.style = kButtonPrimary;
    setWidgetText(state.cancel.label, "Cancel");
    state.cancel.style = kButtonPlain;
}

void paintSaveProfileAs(DrawContext& context, float width, float height, void* user) {
    auto& state = *static_cast<SaveProfileAsState*>(user);
    ensureProfileDialogAppearance();
    layoutSaveProfileAs(state, width, height);
    const float s = dpiScale();
    drawSectionLabel(context, "PROFILE NAME", 20 * s, 16 * s, width - 40 * s);
    drawTextField(context, state.field);
    drawProfileDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, state.cancel);
    drawButton(context, state.save);
    if (!state.caretTimerStarted) {
        if (WindowHandle window = currentDialogWindow())
            state.caretTimerStarted = setWindowTimer(window, kCaretBlinkTimer, kCaretBlinkMs);
    }
}

namespace {

void saveProfileAsWidget(int id, void* user) {
    if (id == kSave && hasName(*static_cast<SaveProfileAsState*>(user)))
        closeDialog(1);
    else if (id == kCancel)
        closeDialog(0);
}

}  // namespace

bool mouseSaveProfileAs(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<SaveProfileAsState*>(user)->widgets, message, x, y, wParam,
                            saveProfileAsWidget, user);
}

bool keySaveProfileAs(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<SaveProfileAsState*>(user);
    const int code = static_cast<int>(wParam);
    if (message == kWmChar) {
        if (!isNameCharacter(code) || textFieldLength(state.field) >= kSaveAsMaxLength)
            return false;
        return textFieldChar(state.field, code) != kWidgetNone;
    }
    if (message != kWmKeyDown)
        return false;
    if (code == kVkReturn) {
        if (hasName(state))
            closeDialog(1);
        return false;
    }
    if (code == kVkEscape) {
        closeDialog(0);
        return false;
    }
    textFieldKey(state.field, code);
    return true;
}

bool timerSaveProfileAs(uint32_t timerId, uintptr_t, intptr_t, void*) { return timerId == kCaretBlinkTimer; }

bool finishSaveProfileAs(SaveProfileAsState& state, int result) {
    if (result != 1 || !hasName(state))
        return false;
    const std::string name(state.field.text);
    const HapticSettings current = gSettings.snapshot();
    const int sim = selectedSimOf(current);
    std::string why;
    if (!isValidProfileName(name, &why)) {
        reportProfileError(state.parent, "Save Profile As", "\"" + name + "\" cannot be used as a profile name.\n\n" + why);
        return false;
    }
    if (!confirmProfileTarget(state.parent, "Save Profile As", state.base, sim, name))
        return false;
    std::string error;
    if (!saveProfile(current, state.base, sim, name, &error)) {
        reportProfileError(state.parent, "Save Profile As",
                           "Profile \"" + name + "\" could not be saved; the active profile stays \"" +
                               std::string(textOf(current.activeProfile[sim])) + "\".\n\n" + error);
        return false;
    }
    gSettings.edit([&](HapticSettings& s) { copyText(s.activeProfile[sim], name.c_str()); });
    postProfileRefresh(state.parent);
    return true;
}

void saveProfileAsDialog(WindowHandle parent) {
    SaveProfileAsState state;
    initSaveProfileAsState(state, parent);
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Save Profile As";
    spec.width = 420;
    spec.height = 200;
    spec.onPaint = paintSaveProfileAs;
    spec.onMouse = mouseSaveProfileAs;
    spec.onKey = keySaveProfileAs;
    spec.onTimer = timerSaveProfileAs;
    spec.userData = &state;
    finishSaveProfileAs(state, runModalDialog(spec));
}

}  // namespace qv
