#pragma once
// The browser of the online catalogue: fetches the selected simulator's
// entries, lists them, and downloads one on request, installing it as a
// profile file of that simulator and making it the active profile. The
// requests run on a worker (CatalogueRequest) while the dialog shows a busy
// state and keeps answering; Escape cancels a running request. GUI thread
// only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"
#include "ui/dialogs/CatalogueRequest.h"
#include "ui/dialogs/CommunityCatalogue.h"

#include <string>
#include <vector>

namespace qv {

inline constexpr const char* kSimDisplayNames[] = {"iRacing", "ACC", "LMU", "AC Evo", "AC", "rFactor 2"};
// The display name of a simulator; "Unknown" outside 0..5.
const char* catalogueSimName(int sim);

struct CommunityProfilesState {
    WindowHandle parent = nullptr;
    std::string base;
    int sim = 0;
    std::vector<CommunityProfileEntry> entries;
    UiListBox list;
    std::string status;
    int statusStyle = 0;
    bool busy = false;
    UiButton download, close;
    WidgetList widgets;  // filled by the layout of each paint

    enum class Pending { kNothing, kList, kDownload };
    Pending pending = Pending::kNothing;
    CommunityProfileEntry downloading;  // the entry of the running download
    CatalogueRequest request;
    CatalogueRequestOptions requestOptions;
    bool pollTimerStarted = false;
};

// Starts fetching the list (busy until it arrives); false (after a message
// box owned by parent) when there is no server.
bool startCommunityProfiles(CommunityProfilesState& state, WindowHandle parent);
// Takes a finished request's reply and acts on it: the list fills the
// dialog, or (failed, invalid or empty, after a message box) closes it; a
// download is installed or says why not. True when something changed.
bool pollCommunityProfiles(CommunityProfilesState& state);
bool timerCommunityProfiles(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);
void paintCommunityProfiles(DrawContext& context, float width, float height, void* user);
bool mouseCommunityProfiles(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keyCommunityProfiles(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool messageCommunityProfiles(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// Starts downloading the selected entry (kMsgDownloadProfile); the reply is
// installed by pollCommunityProfiles.
void downloadCommunityProfile(CommunityProfilesState& state);
// The dialog's window and callbacks over `state`; `title` must outlive the run.
DialogSpec communityProfilesSpec(CommunityProfilesState& state, WindowHandle parent, const std::string& title);
void communityProfilesDialog(WindowHandle parent);

// The text shown instead of the dialogs when no backend is configured.
inline constexpr const char* kNoProfileServerText =
    "No profile server is configured, so community profiles are not available.\n"
    "Set QV_BACKEND_URL to the server's address to use them.";

}  // namespace qv
