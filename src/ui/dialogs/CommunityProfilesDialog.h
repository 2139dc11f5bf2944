#pragma once
// The browser of the online catalogue: fetches the selected simulator's
// entries, lists them, and downloads one on request, installing it as a
// profile file of that simulator and making it the active profile. The
// requests block the GUI thread after the dialog painted its status line.
// GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/Widgets.h"
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
};

// Fetches the list; false (after a message box owned by parent) when there
// is no server, the request failed, the reply was invalid or empty.
bool fetchCommunityProfiles(CommunityProfilesState& state, WindowHandle parent);
void paintCommunityProfiles(DrawContext& context, float width, float height, void* user);
bool mouseCommunityProfiles(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool keyCommunityProfiles(uint32_t message, uintptr_t wParam, void* user, intptr_t lParam);
bool messageCommunityProfiles(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// Downloads and installs the selected entry (kMsgDownloadProfile).
void downloadCommunityProfile(CommunityProfilesState& state);
void communityProfilesDialog(WindowHandle parent);

// The text shown instead of the dialogs when no backend is configured.
inline constexpr const char* kNoProfileServerText =
    "No profile server is configured, so community profiles are not available.\n"
    "Set QV_BACKEND_URL to the server's address to use them.";

}  // namespace qv
