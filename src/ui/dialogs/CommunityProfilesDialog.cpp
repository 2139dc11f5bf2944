#include "ui/dialogs/CommunityProfilesDialog.h"

#include "app/BackendClient.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Utf8.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/MessageBox.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileTransfer.h"
#include "ui/panels/ProfileActions.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace qv {

namespace {

constexpr const char* kBoxTitle = "Quor Vane";

enum { kList, kDownload, kClose };

// The first maxBytes of a text, cut between characters.
std::string cutText(const std::string& text, size_t maxBytes) {
    return text.substr(0, utf8CutPosition(text, maxBytes));
}

bool selectionValid(const CommunityProfilesState& state) {
    return state.list.selected >= 0 && state.list.selected < listBoxItemCount(state.list) &&
           state.list.selected < static_cast<int>(state.entries.size());
}

bool canDownload(const CommunityProfilesState& state) {
    return listBoxItemCount(state.list) > 0 && !state.busy && selectionValid(state);
}

// Posted so the press is handled after the input that made it; without a
// window (tests) the download starts at once.
void requestDownload(CommunityProfilesState& state) {
    if (!canDownload(state))
        return;
    WindowHandle window = currentDialogWindow();
    if (!window || !postWindowMessage(window, kMsgDownloadProfile, 0, 0))
        downloadCommunityProfile(state);
}

void setStatus(CommunityProfilesState& state, std::string text, int style) {
    state.status = std::move(text);
    state.statusStyle = style;
}

// The reply timer runs while a request does.
void startPollTimer(CommunityProfilesState& state) { startCatalogueReplyTimer(state.request, state.pollTimerStarted); }

void stopPollTimer(CommunityProfilesState& state) { stopCatalogueReplyTimer(state.pollTimerStarted); }

void setBusy(CommunityProfilesState& state, CommunityProfilesState::Pending pending) {
    state.pending = pending;
    state.busy = pending != CommunityProfilesState::Pending::kNothing;
    state.download.enabled = state.busy ? 0 : 1;
}

void layout(CommunityProfilesState& state, float width, float height) {
    const float s = dpiScale();
    const float listHeight = std::max(height - 214 * s, 80 * s);
    state.list.rect = RectF{20 * s, 56 * s, width - 20 * s, 56 * s + listHeight};
    const float half = (width - 48 * s) / 2;
    state.close.rect = RectF{20 * s, height - 40 * s, 20 * s + half, height - 8 * s};
    state.download.rect = RectF{state.close.rect.right + 8 * s, height - 40 * s, width - 20 * s, height - 8 * s};
    state.widgets.clear();
    state.widgets.add(state.list, kList);
    state.widgets.add(state.download, kDownload);
    state.widgets.add(state.close, kClose);
}

void install(CommunityProfilesState& state, const CommunityProfileEntry& entry, const nlohmann::json& profile) {
    const HapticSettings current = gSettings.snapshot();
    const int sim = selectedSimOf(current);
    // Parsed into a copy of the current profile: members the download lacks keep their values.
    HapticSettings scratch = current;
    std::string error;
    // Read from the document as it is: only the known members are taken.
    if (!applyProfileJson(scratch.effectProfiles[sim], profile, &error)) {
        setStatus(state, cutText("Error: the downloaded profile is not valid (" + error + ")", 127), kStatusError);
        return;
    }
    // The sender's routing belongs to the sender's rig.
    resetEffectGains(scratch.effectProfiles[sim]);
    WindowHandle owner = currentDialogWindow();
    if (!confirmProfileTarget(owner, "Community Profiles", state.base, sim, entry.name)) {
        setStatus(state, cutText("Not installed: profile \"" + entry.name + "\" was kept.", 127), kStatusNormal);
        return;
    }
    if (!saveProfile(scratch, state.base, sim, entry.name, &error)) {
        setStatus(state, "Error: could not save profile to disk.", kStatusError);
        return;
    }
    activateProfile(state.parent, sim, entry.name, scratch.effectProfiles[sim]);
    setStatus(state, "Profile applied! You can close this dialog.", kStatusSuccess);
}

}  // namespace

const char* catalogueSimName(int sim) { return isValidSimIndex(sim) ? kSimDisplayNames[sim] : "Unknown"; }

bool startCommunityProfiles(CommunityProfilesState& state, WindowHandle parent) {
    state.parent = parent;
    state.base = profileBaseFolder();
    state.sim = selectedSimOf(gSettings.snapshot());
    setWidgetText(state.download.label, "Download");
    state.download.style = kButtonPrimary;
    setWidgetText(state.close.label, "Close");
    if (!backendConfig().hasBackend()) {
        messageBoxes().show(parent, kBoxTitle, kNoProfileServerText, MessageKind::Info);
        return false;
    }
    state.request.start(HttpMethod::Get, std::string("/fetch-profiles?sim=") + simKeyOf(state.sim), {},
                        state.requestOptions);
    setBusy(state, CommunityProfilesState::Pending::kList);
    setStatus(state, "Loading community profiles...", kStatusNormal);
    return true;
}

namespace {

// The list arrived: fills the dialog, or says why not and closes it.
void finishList(CommunityProfilesState& state, const HttpResult& reply) {
    WindowHandle owner = currentDialogWindow() ? currentDialogWindow() : state.parent;
    const auto fail = [&](const std::string& text, MessageKind kind) {
        setStatus(state, {}, kStatusNone);
        messageBoxes().show(owner, kBoxTitle, text.c_str(), kind);
        closeDialog(0);
    };
    if (!reply.ok) {
        if (reply.tooLarge)
            fail("The community server's reply is too large to be a list of profiles.", MessageKind::Warning);
        else if (reply.timedOut)
            fail("The community server did not answer in time.\nPlease try again later.", MessageKind::Warning);
        else if (reply.status >= 300 && reply.status <= 399)
            fail("The community server sent a redirect (status " + std::to_string(reply.status) +
                     ") instead of the list of profiles.\nPlease try again later.",
                 MessageKind::Warning);
        else if (reply.status > 0)
            fail("The community server answered with status " + std::to_string(reply.status) +
                     " instead of the list of profiles.\nPlease try again later.",
                 MessageKind::Warning);
        else
            fail("Could not connect to the community server.\nPlease check your internet connection and try again.",
                 MessageKind::Warning);
        return;
    }
    if (!parseCatalogueList(reply.body, state.entries)) {
        fail("Received an invalid response from the server.", MessageKind::Warning);
        return;
    }
    if (state.entries.empty()) {
        fail(std::string("No community profiles available for ") + catalogueSimName(state.sim) +
                 " yet.\nBe the first to share one!",
             MessageKind::Info);
        return;
    }
    std::vector<std::string> rows;
    const size_t shown = std::min<size_t>(state.entries.size(), kListBoxMaxItems);
    for (size_t i = 0; i < shown; ++i)
        rows.push_back(cutText(state.entries[i].name, 127) + " (by " + cutText(state.entries[i].author, 127) + ")");
    std::vector<const char*> items;
    for (const std::string& row : rows)
        items.push_back(row.c_str());
    listBoxSetItems(state.list, items.data(), static_cast<int>(items.size()));
    state.list.selected = 0;
    setStatus(state, {}, kStatusNone);
}

void finishDownload(CommunityProfilesState& state, const HttpResult& reply) {
    const CommunityProfileEntry& entry = state.downloading;
    if (!reply.ok) {
        setStatus(state, "Download failed: " + cutText(catalogueRequestFailureText(reply), 90), kStatusError);
        return;
    }
    nlohmann::json profile;
    std::string why;
    if (parseCatalogueEntry(reply.body, profile, &why))
        install(state, entry, profile);
    else if (why.empty())
        setStatus(state, "Error: unexpected response format.", kStatusError);
    else
        setStatus(state, cutText("Error: unexpected response format (" + why + ").", 127), kStatusError);
}

// Escape while a request runs: lets go of it at once.
void cancelRequest(CommunityProfilesState& state) {
    const bool wasList = state.pending == CommunityProfilesState::Pending::kList;
    state.request.cancel();
    stopPollTimer(state);
    setBusy(state, CommunityProfilesState::Pending::kNothing);
    if (wasList) {
        closeDialog(0);  // nothing to show without the list
        return;
    }
    setStatus(state, "Download cancelled.", kStatusNormal);
}

}  // namespace

bool pollCommunityProfiles(CommunityProfilesState& state) {
    HttpResult reply;
    if (!state.request.takeReply(reply))
        return false;
    stopPollTimer(state);
    const CommunityProfilesState::Pending pending = state.pending;
    setBusy(state, CommunityProfilesState::Pending::kNothing);
    if (pending == CommunityProfilesState::Pending::kList)
        finishList(state, reply);
    else if (pending == CommunityProfilesState::Pending::kDownload)
        finishDownload(state, reply);
    return true;
}

bool timerCommunityProfiles(uint32_t timerId, uintptr_t, intptr_t, void* user) {
    if (timerId != kCatalogueReplyTimer)
        return false;
    return pollCommunityProfiles(*static_cast<CommunityProfilesState*>(user));
}

void paintCommunityProfiles(DrawContext& context, float width, float height, void* user) {
    auto& state = *static_cast<CommunityProfilesState*>(user);
    ensureProfileDialogAppearance();
    startPollTimer(state);
    layout(state, width, height);
    const float s = dpiScale();
    drawSectionLabel(context, "COMMUNITY PROFILES", 20 * s, 16 * s, width - 40 * s);
    drawListBox(context, state.list);
    if (selectionValid(state)) {
        const CommunityProfileEntry& entry = state.entries[static_cast<size_t>(state.list.selected)];
        const float top = state.list.rect.bottom + 10 * s;
        const float inner = width - 40 * s;
        const std::string author = "Author: " + cutText(entry.author, 127);
        drawTextUtf8(&context, guiTextFormat(kFormatSmall), author.c_str(),
                     RectF{20 * s, top, 20 * s + inner * 0.6f, top + 16 * s}, guiBrush(kBrushText55),
                     TextAlignment::Leading, ParagraphAlignment::Center);
        const std::string downloads = "Downloads: " + std::to_string(entry.downloads);
        drawTextUtf8(&context, guiTextFormat(kFormatSmall), downloads.c_str(),
                     RectF{20 * s + inner * 0.6f, top, width - 20 * s, top + 16 * s}, guiBrush(kBrushText38),
                     TextAlignment::Trailing, ParagraphAlignment::Center);
        if (!entry.description.empty())
            drawTextUtf8(&context, guiTextFormat(kFormatSmall), entry.description.c_str(),
                         RectF{20 * s, top + 20 * s, width - 20 * s, top + 68 * s}, guiBrush(kBrushText38),
                         TextAlignment::Leading, ParagraphAlignment::Near);
    }
    // A long error wraps upwards, into the gap above the status line.
    drawStatusLine(context, state.status, state.statusStyle, RectF{20 * s, height - 70 * s, width - 20 * s, height - 52 * s},
                   RectF{20 * s, height - 84 * s, width - 20 * s, height - 52 * s});
    drawProfileDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, state.close);
    drawButton(context, state.download);
}

namespace {

void communityProfilesWidget(int id, void* user) {
    auto& state = *static_cast<CommunityProfilesState*>(user);
    switch (id) {
    case kList: setStatus(state, {}, kStatusNone); break;
    case kDownload: requestDownload(state); break;
    case kClose: closeDialog(0); break;
    default: break;
    }
}

}  // namespace

bool mouseCommunityProfiles(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<CommunityProfilesState*>(user)->widgets, message, x, y, wParam,
                            communityProfilesWidget, user);
}

bool keyCommunityProfiles(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<CommunityProfilesState*>(user);
    if (message != kWmKeyDown)
        return false;
    switch (static_cast<int>(wParam)) {
    case kVkReturn:
        requestDownload(state);
        return true;
    case kVkEscape:
        if (state.busy) {
            cancelRequest(state);
            return true;
        }
        closeDialog(0);
        return false;
    case kVkUp:
        if (state.busy || state.list.selected <= 0)
            return false;
        --state.list.selected;
        setStatus(state, {}, kStatusNone);
        return true;
    case kVkDown:
        if (state.busy || state.list.selected >= listBoxItemCount(state.list) - 1)
            return false;
        ++state.list.selected;
        setStatus(state, {}, kStatusNone);
        return true;
    default:
        return false;
    }
}

bool messageCommunityProfiles(uint32_t message, uintptr_t, intptr_t, void* user) {
    auto& state = *static_cast<CommunityProfilesState*>(user);
    if (message != kMsgDownloadProfile)
        return false;
    if (canDownload(state))
        downloadCommunityProfile(state);
    return true;
}

void downloadCommunityProfile(CommunityProfilesState& state) {
    if (!selectionValid(state) || state.busy)
        return;
    state.downloading = state.entries[static_cast<size_t>(state.list.selected)];
    state.request.start(HttpMethod::Get, "/fetch-profiles?id=" + percentEncode(state.downloading.id), {},
                        state.requestOptions);
    setBusy(state, CommunityProfilesState::Pending::kDownload);
    setStatus(state, "Downloading profile...", kStatusNormal);
    startPollTimer(state);
}

DialogSpec communityProfilesSpec(CommunityProfilesState& state, WindowHandle parent, const std::string& title) {
    DialogSpec spec;
    spec.parent = parent;
    spec.title = title.c_str();
    spec.width = 480;
    spec.height = 420;
    spec.onPaint = paintCommunityProfiles;
    spec.onMouse = mouseCommunityProfiles;
    spec.onKey = keyCommunityProfiles;
    spec.onMessage = messageCommunityProfiles;
    spec.onTimer = timerCommunityProfiles;
    spec.userData = &state;
    return spec;
}

void communityProfilesDialog(WindowHandle parent) {
    CommunityProfilesState state;
    if (!startCommunityProfiles(state, parent))
        return;
    const std::string title = std::string("Community Profiles: ") + catalogueSimName(state.sim);
    runModalDialog(communityProfilesSpec(state, parent, title));
    // A request still running is let go with the state.
}

}  // namespace qv
