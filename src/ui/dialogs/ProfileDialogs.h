#pragma once
// "Load Profile" (list, load, delete) and "Save Profile As" (name the current
// effect settings) of the selected simulator. Each runs in the dialog host;
// its state lives on the opener's stack and reaches the callbacks as the
// user pointer. The callbacks and the finishing step are public so tests can
// drive them after one offscreen paint. GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <string>
#include <vector>

namespace qv {

struct LoadProfileState {
    WindowHandle parent = nullptr;
    std::string base;                // profile folder, ending in "/"
    int sim = 0;                     // the selected simulator when the dialog opened
    std::vector<std::string> names;  // every saved name, in list order
    UiListBox list;                  // the first 64 of them
    UiButton load, remove, cancel;
    WidgetList widgets;              // filled by the layout of each paint
    std::string status;              // what the last Delete did, or why it did nothing
    int statusStyle = 0;             // StatusStyle
};

// Fills the state for the selected simulator and the profile folder.
void initLoadProfileState(LoadProfileState& state, WindowHandle parent);
// Re-reads the names; selects the active profile's row (row 0 when absent).
void refreshLoadProfileList(LoadProfileState& state);
void paintLoadProfile(DrawContext& context, float width, float height, void* user);
bool mouseLoadProfile(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keyLoadProfile(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// Applies the dialog's result: with 1 and a valid row the profile is read
// into a scratch copy and, when that worked, becomes the active one.
void finishLoadProfile(LoadProfileState& state, int result);
void loadProfileDialog(WindowHandle parent);

struct SaveProfileAsState {
    WindowHandle parent = nullptr;
    std::string base;
    UiTextField field;
    UiButton save, cancel;
    WidgetList widgets;  // filled by the layout of each paint
    bool caretTimerStarted = false;
};

// Names typed into Save As hold at most this many characters (the active
// name's room), so the file name and the active name agree.
inline constexpr int kSaveAsMaxLength = 63;

void initSaveProfileAsState(SaveProfileAsState& state, WindowHandle parent);
void paintSaveProfileAs(DrawContext& context, float width, float height, void* user);
bool mouseSaveProfileAs(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keySaveProfileAs(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool timerSaveProfileAs(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);
// With 1 and a non-empty name: writes the profile (asking before replacing
// a file of that name) and makes the name active; a failure is reported and
// changes nothing. True when the profile was saved.
bool finishSaveProfileAs(SaveProfileAsState& state, int result);
void saveProfileAsDialog(WindowHandle parent);

}  // namespace qv
