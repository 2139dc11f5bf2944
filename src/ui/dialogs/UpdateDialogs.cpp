// The update and release-notes dialogs. Sections:
//   the notes box
//   the update dialog
//   the release-notes dialog

#include "ui/dialogs/UpdateDialogs.h"

#include "app/BackendConfig.h"
#include "app/UpdateCheck.h"
#include "app/Version.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Utf8.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/MessageBox.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/DialogPaint.h"
#include "ui/dialogs/InstallerDownload.h"
#include "ui/dialogs/OpenInDesktop.h"
#include "ui/dialogs/OutsideText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

namespace {

constexpr int kUpdateWidth = 480, kUpdateHeight = 500;
constexpr int kNotesWidth = 480, kNotesHeight = 460;

enum { kDownload, kLater };

constexpr const char* kConfirmText =
    "The update will be downloaded into a private folder, which then opens so that you can install it.\n\n"
    "After upgrading:\n  - Settings will reset to defaults\n  - The device wizard will re-run\n"
    "  - Your effect profiles are safe\n\nContinue?";

std::string versionText() { return std::string("v") + kVersionText; }

// The update server's texts: valid UTF-8 without control or bidirectional
// formatting characters (the notes keep their line breaks).
std::string versionFromServer(const char* text) { return cleanServerText(text ? text : "", kLatestVersionSize); }
std::string notesFromServer(const char* text) { return cleanServerLines(text ? text : "", kReleaseNotesSize * 2); }

// ---- the notes box ----

void paintNotes(DrawContext& context, NotesView& view, const RectF& box) {
    const float s = dpiScale();
    view.box = box;
    const TextFormat* format = guiTextFormat(kFormatSmall);
    const float layoutWidth = std::max(1.0f, box.width() - 16 * s);
    if (view.contentHeight < 0)
        view.contentHeight = view.text.empty() ? 0 : context.measureText(format, view.text, layoutWidth).height;
    view.maxScroll = std::max(0.0f, view.contentHeight - (box.height() - 16 * s));
    view.scroll = std::clamp(view.scroll, 0.0f, view.maxScroll);

    context.fillRoundedRect(box, 6 * s, guiBrush(kBrushRaised));
    context.drawRoundedRect(box, 6 * s, guiBrush(kBrushLine), 1);
    context.pushClip(RectF{box.left + s, box.top + s, box.right - s, box.bottom - s});
    const float top = box.top + 8 * s - view.scroll;
    context.drawText(format, view.text,
                     RectF{box.left + 8 * s, top, box.left + 8 * s + layoutWidth, top + view.contentHeight + 8 * s},
                     guiBrush(kBrushText78), TextAlignment::Leading, ParagraphAlignment::Near);
    context.popClip();
    const RectF thumb = notesThumb(view);
    if (thumb.width() > 0)
        context.fillRoundedRect(thumb, 1.5f * s, guiBrush(kBrushText22));
}

void layoutButton(UiButton& button, float left, float top, float width, float height) {
    button.rect = RectF{left, top, left + width, top + height};
}

}  // namespace

RectF notesThumb(const NotesView& view) {
    if (view.maxScroll <= 0 || view.contentHeight <= 0)
        return RectF{};
    const float s = dpiScale();
    const RectF& box = view.box;
    const float track = box.height() - 8 * s;
    const float thumb = std::max((box.height() - 16 * s) / view.contentHeight * track, 20 * s);
    const float top = box.top + 4 * s + view.scroll / view.maxScroll * (track - thumb);
    const float right = box.right - 8 * s;  // the box's right edge is w - pad
    return RectF{right, top, right + 3 * s, top + thumb};
}

bool scrollNotes(NotesView& view, int wheelDelta) {
    const float before = view.scroll;
    view.scroll = std::clamp(view.scroll - static_cast<float>(wheelDelta) * 0.5f, 0.0f, view.maxScroll);
    return view.scroll != before;
}

// ---- the update dialog ----

namespace {

void syncDownloadButton(UpdateDialogState& d) {
    const int32_t state = gInstallerState.load();
    if (state == kInstallerDownloading) {
        setWidgetText(d.downloadButton.label, "Downloading...");
        d.downloadButton.enabled = 0;
    } else if (state == kInstallerFailed) {
        setWidgetText(d.downloadButton.label, "Failed -- Retry");
        d.downloadButton.enabled = 1;
    } else {
        setWidgetText(d.downloadButton.label, "Download");
        d.downloadButton.enabled = 1;
    }
}

bool askToDownload(UpdateDialogState& d) {
    if (d.confirm)
        return d.confirm(currentDialogWindow());
    return messageBoxes().askYesNo(currentDialogWindow(), "Download Update", kConfirmText);
}

void downloadFinished() {
    const std::string path = installerPath();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? path : path.substr(0, slash + 1);
    const std::string text = "The update was saved as:\n" + path + "\n\nIts folder opens now; install the update from there.";
    messageBoxes().show(currentDialogWindow(), "Download Complete", text.c_str(), MessageKind::Info);
    openInDesktop(currentDialogWindow(), folder, "Download Complete");
}

}  // namespace

void initUpdateDialog(UpdateDialogState& d) {
    d = UpdateDialogState{};
    setWidgetText(d.downloadButton.label, "Download");
    d.downloadButton.style = kButtonPrimary;
    setWidgetText(d.laterButton.label, "Later");
    d.laterButton.style = kButtonPlain;
    d.versionLine = "Installed: " + versionText() + "     Latest: v" + versionFromServer(publishedLatestVersion());
    d.notes.text = notesFromServer(publishedReleaseNotes());
    d.url = publishedUpdateUrl();
    resetInstallerState();
}

void paintUpdateDialog(DrawContext& context, float width, float height, void* user) {
    auto& d = *static_cast<UpdateDialogState*>(user);
    ensureDialogAppearance();
    syncDownloadButton(d);
    const float s = dpiScale();
    const float pad = 20 * s;
    drawTextUtf8(&context, guiTextFormat(kFormatCardTitle), "A new version of Quor Vane is available.",
                 RectF{pad, 16 * s, width - pad, 40 * s}, guiBrush(kBrushText), TextAlignment::Leading,
                 ParagraphAlignment::Center);
    drawTextUtf8(&context, guiTextFormat(kFormatSmall), d.versionLine.c_str(), RectF{pad, 52 * s, width - pad, 72 * s},
                 guiBrush(kBrushText55), TextAlignment::Leading, ParagraphAlignment::Center);
    drawTextUtf8(&context, guiTextFormat(kFormatSliderLabel), "What's new:", RectF{pad, 84 * s, width - pad, 102 * s},
                 guiBrush(kBrushText38), TextAlignment::Leading, ParagraphAlignment::Center);
    paintNotes(context, d.notes, RectF{pad, 110 * s, width - pad, height - 64 * s});

    paintDialogFooter(context, width, height, height - 56 * s);
    layoutButton(d.downloadButton, pad, height - 45 * s, 140 * s, 34 * s);
    layoutButton(d.laterButton, pad + 152 * s, height - 45 * s, 100 * s, 34 * s);
    d.widgets.clear();
    d.widgets.add(d.downloadButton, kDownload);
    d.widgets.add(d.laterButton, kLater);
    drawButton(context, d.downloadButton);
    drawButton(context, d.laterButton);
    if (gInstallerState.load() == kInstallerFailed) {
        const std::string error = installerError();
        drawTextUtf8(&context, guiTextFormat(kFormatSmall), error.c_str(),
                     RectF{d.laterButton.rect.right + 12 * s, height - 52 * s, width - pad, height - 4 * s},
                     guiBrush(kBrushText55), TextAlignment::Leading, ParagraphAlignment::Center);
    }
}

void startUpdateDownload(UpdateDialogState& d) {
    if (gInstallerState.load() == kInstallerDownloading)
        return;
    if (d.url.empty()) {
        // The update check drops an address that is not https://.
        messageBoxes().show(currentDialogWindow(), "Download Update", kNoSecureDownloadText, MessageKind::Warning);
        return;
    }
    if (!askToDownload(d))
        return;
    InstallerDownloadOptions options;
    options.caFile = backendConfig().caFile;
    startInstallerDownload(d.url, options);  // a failure to start shows as state 3
    d.polling = true;
    setWindowTimer(currentDialogWindow(), kInstallerPollTimer, kInstallerPollMs);
}

namespace {

void updateDialogWidget(int id, void* user) {
    auto& d = *static_cast<UpdateDialogState*>(user);
    if (id == kDownload) {
        startUpdateDownload(d);
    } else if (id == kLater) {
        endUpdateDialog(d);
        closeDialog(0);
    }
}

void closeWithZero(int, void*) { closeDialog(0); }

}  // namespace

bool updateDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    auto& d = *static_cast<UpdateDialogState*>(user);
    syncDownloadButton(d);
    if (message == kWmMouseWheel)
        return scrollNotes(d.notes, wheelDelta(wParam));
    return routeDialogMouse(d.widgets, message, x, y, wParam, updateDialogWidget, user);
}

bool updateDialogKey(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& d = *static_cast<UpdateDialogState*>(user);
    if (message != kWmKeyDown)
        return false;
    if (wParam == static_cast<uintptr_t>(kVkReturn)) {
        startUpdateDownload(d);
        return true;
    }
    if (wParam == static_cast<uintptr_t>(kVkEscape)) {
        endUpdateDialog(d);
        closeDialog(0);
    }
    return false;
}

bool updateDialogTimer(uint32_t timerId, uintptr_t, intptr_t, void* user) {
    auto& d = *static_cast<UpdateDialogState*>(user);
    if (timerId != kInstallerPollTimer)
        return false;
    const int32_t state = gInstallerState.load();
    if (state == kInstallerDownloaded) {
        killWindowTimer(currentDialogWindow(), kInstallerPollTimer);
        d.polling = false;
        downloadFinished();
        closeDialog(1);
        return true;
    }
    if (state == kInstallerFailed) {
        killWindowTimer(currentDialogWindow(), kInstallerPollTimer);
        d.polling = false;
        return true;
    }
    return false;
}

void endUpdateDialog(UpdateDialogState& d) {
    if (gInstallerState.load() == kInstallerDownloading)
        cancelInstallerDownload();
    d.polling = false;
}

void showUpdateDialog(WindowHandle parent) {
    UpdateDialogState d;
    initUpdateDialog(d);
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Update Available";
    spec.width = kUpdateWidth;
    spec.height = kUpdateHeight;
    spec.onPaint = paintUpdateDialog;
    spec.onMouse = updateDialogMouse;
    spec.onKey = updateDialogKey;
    spec.onTimer = updateDialogTimer;
    spec.userData = &d;
    runModalDialog(spec);
    endUpdateDialog(d);  // also when the window's close box ended it
}

// ---- the release-notes dialog ----

std::string releaseNotesText() {
    std::string notes = notesFromServer(publishedReleaseNotes());
    if (!notes.empty())
        return notes;
    const std::string& url = backendConfig().updateUrl;
    if (url.empty())
        return "No release notes available.\r\n\r\nNo update server is configured for this build.";
    const size_t hostStart = url.find("://");
    std::string host = url.substr(hostStart == std::string::npos ? 0 : hostStart + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    return "No release notes available.\r\n\r\nRelease notes are fetched on startup from " + host + ".";
}

void initReleaseNotes(ReleaseNotesState& state) {
    state = ReleaseNotesState{};
    setWidgetText(state.closeButton.label, "Close");
    state.closeButton.style = kButtonPrimary;
    state.notes.text = releaseNotesText();
}

void paintReleaseNotes(DrawContext& context, float width, float height, void* user) {
    auto& d = *static_cast<ReleaseNotesState*>(user);
    ensureDialogAppearance();
    const float s = dpiScale();
    const float pad = 20 * s;
    const RectF heading{pad, 16 * s, width - pad, 40 * s};
    drawTextUtf8(&context, guiTextFormat(kFormatCardTitle), "What's new:", heading, guiBrush(kBrushText),
                 TextAlignment::Leading, ParagraphAlignment::Center);
    drawTextUtf8(&context, guiTextFormat(kFormatSmall), versionText().c_str(), heading, guiBrush(kBrushText38),
                 TextAlignment::Trailing, ParagraphAlignment::Center);
    paintNotes(context, d.notes, RectF{pad, 56 * s, width - pad, height - 64 * s});
    paintDialogFooter(context, width, height, height - 56 * s);
    layoutButton(d.closeButton, width - pad - 100 * s, height - 45 * s, 100 * s, 34 * s);
    d.widgets.clear();
    d.widgets.add(d.closeButton, 0);
    drawButton(context, d.closeButton);
}

bool releaseNotesMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    auto& d = *static_cast<ReleaseNotesState*>(user);
    if (message == kWmMouseWheel)
        return scrollNotes(d.notes, wheelDelta(wParam));
    return routeDialogMouse(d.widgets, message, x, y, wParam, closeWithZero, user);
}

bool releaseNotesKey(uint32_t message, uintptr_t wParam, intptr_t, void*) {
    if (message == kWmKeyDown &&
        (wParam == static_cast<uintptr_t>(kVkReturn) || wParam == static_cast<uintptr_t>(kVkEscape)))
        closeDialog(0);
    return false;
}

int showReleaseNotes(WindowHandle parent) {
    ReleaseNotesState d;
    initReleaseNotes(d);
    const std::string title = "What's New in " + versionText();
    DialogSpec spec;
    spec.parent = parent;
    spec.title = title.c_str();
    spec.width = kNotesWidth;
    spec.height = kNotesHeight;
    spec.onPaint = paintReleaseNotes;
    spec.onMouse = releaseNotesMouse;
    spec.onKey = releaseNotesKey;
    spec.userData = &d;
    return runModalDialog(spec);
}

}  // namespace qv
