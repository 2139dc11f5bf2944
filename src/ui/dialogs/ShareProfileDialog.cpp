#include "ui/dialogs/ShareProfileDialog.h"

#include "app/BackendClient.h"
#include "app/Version.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Utf8.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/MessageBox.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/CommunityCatalogue.h"
#include "ui/dialogs/CommunityProfilesDialog.h"
#include "ui/dialogs/OutsideText.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileTransfer.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace qv {

namespace {

// The longest failure reason shown after "Upload failed: " (bytes).
constexpr size_t kShareReasonBytes = 180;

enum { kShare, kCancel };

bool canShare(ShareProfileState& state) {
    return textFieldLength(state.author) > 0 && !state.busy && !state.shared;
}

void requestUpload(ShareProfileState& state) {
    if (!canShare(state))
        return;
    WindowHandle window = currentDialogWindow();
    if (!window || !postWindowMessage(window, kMsgUploadProfile, 0, 0))
        uploadSharedProfile(state);
}

bool isAuthorCharacter(int ch) {
    return std::isalnum(ch) || ch == ' ' || ch == '-' || ch == '.' || ch == '_';
}

UiTextField* focusedField(ShareProfileState& state) {
    if (state.author.focused)
        return &state.author;
    if (state.description.focused)
        return &state.description;
    return nullptr;
}

void startPollTimer(ShareProfileState& state) { startCatalogueReplyTimer(state.request, state.pollTimerStarted); }

void stopPollTimer(ShareProfileState& state) { stopCatalogueReplyTimer(state.pollTimerStarted); }

void setBusy(ShareProfileState& state, bool busy) {
    state.busy = busy;
    state.share.enabled = busy || state.shared ? 0 : 1;
}

void layout(ShareProfileState& state, float width, float height) {
    const float s = dpiScale();
    state.author.rect = RectF{20 * s, 56 * s, width - 20 * s, 92 * s};
    state.description.rect = RectF{20 * s, 148 * s, width - 20 * s, 220 * s};
    const float half = (width - 48 * s) / 2;
    state.cancel.rect = RectF{20 * s, height - 40 * s, 20 * s + half, height - 8 * s};
    state.share.rect = RectF{state.cancel.rect.right + 8 * s, height - 40 * s, width - 20 * s, height - 8 * s};
    state.widgets.clear();
    state.widgets.addCaretField(state.author, kNoWidget);
    state.widgets.addCaretField(state.description, kNoWidget);
    state.widgets.add(state.share, kShare);
    state.widgets.add(state.cancel, kCancel);
}

}  // namespace

std::string shareRequestBody(const ShareProfileState& state) {
    const HapticSettings settings = gSettings.snapshot();
    const int sim = selectedSimOf(settings);
    const std::string active(textOf(settings.activeProfile[sim]));
    nlohmann::json body;
    body["sim"] = simKeyOf(sim);
    body["name"] = active.empty() ? std::string(kDefaultProfileName) : active;
    body["author"] = std::string(state.author.text);
    body["description"] = std::string(state.description.text);
    body["qvVersion"] = kVersionText;
    body["profile"] = nlohmann::json::parse(profileJsonText(settings.effectProfiles[sim], sim, active), nullptr, false);
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool initShareProfileState(ShareProfileState& state, WindowHandle parent) {
    state.parent = parent;
    if (!backendConfig().hasBackend()) {
        messageBoxes().show(parent, "Quor Vane", kNoProfileServerText, MessageKind::Info);
        return false;
    }
    setWidgetText(state.author.placeholder, "Your name");
    state.author.focused = 1;
    setWidgetText(state.description.placeholder, "Optional description");
    state.description.wrap = 1;  // the box is three lines high
    setWidgetText(state.share.label, "Share");
    state.share.style = kButtonPrimary;
    setWidgetText(state.cancel.label, "Cancel");
    return true;
}

void paintShareProfile(DrawContext& context, float width, float height, void* user) {
    auto& state = *static_cast<ShareProfileState*>(user);
    ensureProfileDialogAppearance();
    startPollTimer(state);
    layout(state, width, height);
    const float s = dpiScale();
    if (!state.caretTimerStarted) {
        if (WindowHandle window = currentDialogWindow())
            state.caretTimerStarted = setWindowTimer(window, kCaretBlinkTimer, kCaretBlinkMs);
    }
    drawSectionLabel(context, "AUTHOR", 20 * s, 16 * s, width - 40 * s);
    layoutTextField(context, state.author);
    drawTextField(context, state.author);
    drawSectionLabel(context, "DESCRIPTION", 20 * s, 108 * s, width - 40 * s);
    layoutTextField(context, state.description);
    drawTextField(context, state.description);
    // A long error wraps downwards, towards the footer.
    drawStatusLine(context, state.status, state.statusStyle, RectF{20 * s, 228 * s, width - 20 * s, 246 * s},
                   RectF{20 * s, 228 * s, width - 20 * s, height - 52 * s});
    drawProfileDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, state.cancel);
    drawButton(context, state.share);
}

namespace {

void shareProfileWidget(int id, void* user) {
    if (id == kShare)
        requestUpload(*static_cast<ShareProfileState*>(user));
    else if (id == kCancel)
        closeDialog(0);
}

}  // namespace

bool mouseShareProfile(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<ShareProfileState*>(user)->widgets, message, x, y, wParam, shareProfileWidget,
                            user);
}

bool keyShareProfile(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<ShareProfileState*>(user);
    const int code = static_cast<int>(wParam);
    if (message == kWmChar) {
        // Backspace and Tab arrive as key-downs; characters below 32 are never text.
        if (state.busy || state.shared || code < 32 || code > 126)
            return true;
        if (state.author.focused) {
            if (isAuthorCharacter(code))
                textFieldChar(state.author, code);
        } else if (state.description.focused) {
            textFieldChar(state.description, code);
        }
        return true;
    }
    if (message != kWmKeyDown)
        return false;
    if (code == kVkTab && !state.busy) {
        const uint8_t authorFocused = state.author.focused;
        state.author.focused = state.description.focused;
        state.description.focused = authorFocused;
        if (!state.author.focused && !state.description.focused)
            state.author.focused = 1;
        return true;
    }
    if (code == kVkReturn && canShare(state)) {
        requestUpload(state);
        return true;
    }
    if (code == kVkEscape) {
        if (state.busy) {
            state.request.cancel();
            stopPollTimer(state);
            setBusy(state, false);
            state.status = "Upload cancelled.";
            state.statusStyle = kStatusNormal;
            return true;
        }
        closeDialog(0);
        return false;
    }
    if (!state.busy && !state.shared) {
        if (UiTextField* field = focusedField(state))
            textFieldKey(*field, code);
    }
    return true;
}

bool timerShareProfile(uint32_t timerId, uintptr_t, intptr_t, void* user) {
    if (timerId == kCatalogueReplyTimer)
        return pollShareProfile(*static_cast<ShareProfileState*>(user));
    return timerId == kCaretBlinkTimer;
}

bool messageShareProfile(uint32_t message, uintptr_t, intptr_t, void* user) {
    auto& state = *static_cast<ShareProfileState*>(user);
    if (message != kMsgUploadProfile)
        return false;
    if (canShare(state))
        uploadSharedProfile(state);
    return true;
}

void uploadSharedProfile(ShareProfileState& state) {
    if (state.busy)
        return;
    state.request.start(HttpMethod::Post, "/upload-profile", shareRequestBody(state), state.requestOptions);
    setBusy(state, true);
    state.status = "Uploading profile...";
    state.statusStyle = kStatusNormal;
    startPollTimer(state);
}

bool pollShareProfile(ShareProfileState& state) {
    HttpResult reply;
    if (!state.request.takeReply(reply))
        return false;
    stopPollTimer(state);
    if (reply.ok) {
        state.shared = true;
        setBusy(state, false);
        state.status = "Profile shared successfully!";
        state.statusStyle = kStatusSuccess;
        state.author.enabled = state.description.enabled = 0;
        return true;
    }
    setBusy(state, false);
    const std::string why = catalogueRequestFailureText(reply);
    // The status wraps onto up to three lines above the footer; a longer
    // reason ends at a word.
    state.status = "Upload failed: " + cutAtWord(why, kShareReasonBytes);
    state.statusStyle = kStatusError;
    return true;
}

void shareProfileDialog(WindowHandle parent) {
    ShareProfileState state;
    if (!initShareProfileState(state, parent))
        return;
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Share Profile Online";
    spec.width = 440;
    spec.height = 340;
    spec.onPaint = paintShareProfile;
    spec.onMouse = mouseShareProfile;
    spec.onKey = keyShareProfile;
    spec.onTimer = timerShareProfile;
    spec.onMessage = messageShareProfile;
    spec.userData = &state;
    runModalDialog(spec);
}

}  // namespace qv
