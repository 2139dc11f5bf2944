#pragma once
// The update dialog ("Update Available": installed and latest version, the
// release notes, "Download" and "Later") and the release-notes dialog
// ("What's New"). Both show what the update check published
// (app/UpdateCheck.h), read only once it was published complete.
//
// GUI thread only. The states live on the opener's stack; the callbacks are
// public so tests can drive them after one offscreen paint.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <cstdint>
#include <string>

namespace qv {

inline constexpr uint32_t kInstallerPollTimer = 100;
inline constexpr uint32_t kInstallerPollMs = 500;

// What Download says when the update came without an https:// address.
inline constexpr const char* kNoSecureDownloadText =
    "This update has no secure download.\n\nThe update server gave no https:// address for it, so it cannot be "
    "downloaded here.";

// A scrolling box of notes: laid out once at the first paint.
struct NotesView {
    std::string text;          // valid UTF-8, CR LF line breaks
    float scroll = 0;          // pixels
    float maxScroll = 0;
    float contentHeight = -1;  // < 0: not laid out yet
    RectF box;                 // of the last paint
};

// The thumb's rectangle when the notes scroll; empty otherwise.
RectF notesThumb(const NotesView& view);
// Wheel: scroll -= delta * 0.5, kept within 0..maxScroll. True when it moved.
bool scrollNotes(NotesView& view, int wheelDelta);

struct UpdateDialogState {
    UiButton downloadButton;
    UiButton laterButton;
    WidgetList widgets;  // filled by each paint
    NotesView notes;
    std::string versionLine;
    std::string url;  // the download address; empty: Download says there is no secure one
    bool polling = false;
    // Tests: answers the confirmation instead of a question box when set.
    bool (*confirm)(WindowHandle parent) = nullptr;
};

void initUpdateDialog(UpdateDialogState& state);
void paintUpdateDialog(DrawContext& context, float width, float height, void* user);
bool updateDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool updateDialogKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool updateDialogTimer(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);
// Asks, then starts the download and the poll timer (nothing while one
// runs; without an address, a message saying there is no secure download).
void startUpdateDownload(UpdateDialogState& state);
// The dialog closes: a download still running is cancelled.
void endUpdateDialog(UpdateDialogState& state);
void showUpdateDialog(WindowHandle parent);

struct ReleaseNotesState {
    UiButton closeButton;
    WidgetList widgets;  // filled by each paint
    NotesView notes;
};

// The notes, or a text saying why there are none.
std::string releaseNotesText();
void initReleaseNotes(ReleaseNotesState& state);
void paintReleaseNotes(DrawContext& context, float width, float height, void* user);
bool releaseNotesMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool releaseNotesKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
int showReleaseNotes(WindowHandle parent);

}  // namespace qv
