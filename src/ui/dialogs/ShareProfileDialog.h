#pragma once
// Publishing the selected simulator's current effect profile to the online
// catalogue with an author name and an optional description. The upload
// runs on a worker (CatalogueRequest) while the dialog shows a busy state
// and keeps answering; Escape cancels it. GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"
#include "ui/dialogs/CatalogueRequest.h"

#include <string>

namespace qv {

struct ShareProfileState {
    WindowHandle parent = nullptr;
    UiTextField author, description;
    UiButton share, cancel;
    WidgetList widgets;  // filled by the layout of each paint
    bool caretTimerStarted = false;
    std::string status;
    int statusStyle = 0;
    bool busy = false;
    bool shared = false;  // after a successful upload nothing more can be typed or sent
    CatalogueRequest request;
    CatalogueRequestOptions requestOptions;
    bool pollTimerStarted = false;
};

// The upload's body, compact JSON: sim, name ("default" for an empty active
// name), author, description, qvVersion and the profile object of the
// profile file format (with the active name as stored).
std::string shareRequestBody(const ShareProfileState& state);

// False (after a message box) when no backend is configured.
bool initShareProfileState(ShareProfileState& state, WindowHandle parent);
void paintShareProfile(DrawContext& context, float width, float height, void* user);
bool mouseShareProfile(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keyShareProfile(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool timerShareProfile(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);
bool messageShareProfile(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// Starts sending the profile (kMsgUploadProfile).
void uploadSharedProfile(ShareProfileState& state);
// Takes the finished upload's reply and shows the outcome; true when it did.
bool pollShareProfile(ShareProfileState& state);
void shareProfileDialog(WindowHandle parent);

}  // namespace qv
