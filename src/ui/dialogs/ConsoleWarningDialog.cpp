#include "ui/dialogs/ConsoleWarningDialog.h"

#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/DialogPaint.h"

namespace qv {

namespace {

constexpr int kWarningWidth = 350, kWarningHeight = 170;

enum { kDontShow, kOk };

void layoutWarning(ConsoleWarningState& d, float width, float height) {
    const float s = dpiScale();
    d.dontShow.rect = RectF{20 * s, height - 44 * s, width - 120 * s, height - 16 * s};
    d.ok.rect = RectF{width - 100 * s, height - 44 * s, width - 20 * s, height - 12 * s};
    d.widgets.clear();
    d.widgets.add(d.dontShow, kDontShow);
    d.widgets.add(d.ok, kOk);
}

void consoleWarningWidget(int id, void*) {
    if (id == kOk)
        closeDialog(1);
}

}  // namespace

void initConsoleWarning(ConsoleWarningState& d) {
    d = ConsoleWarningState{};
    setWidgetText(d.dontShow.label, "Don't show again");
    d.dontShow.target = &d.dontShowAgain;
    setWidgetText(d.ok.label, "OK");
    d.ok.style = kButtonPrimary;
}

void paintConsoleWarning(DrawContext& context, float width, float height, void* user) {
    auto& d = *static_cast<ConsoleWarningState*>(user);
    ensureDialogAppearance();
    layoutWarning(d, width, height);
    const float s = dpiScale();
    drawTextUtf8(&context, guiTextFormat(kFormatControl), kConsoleWarningText,
                 RectF{20 * s, 16 * s, width - 20 * s, height - 52 * s}, guiBrush(kBrushText78), TextAlignment::Leading,
                 ParagraphAlignment::Near);
    drawToggle(context, d.dontShow);
    drawButton(context, d.ok);
}

bool consoleWarningMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<ConsoleWarningState*>(user)->widgets, message, x, y, wParam,
                            consoleWarningWidget, user);
}

bool consoleWarningKey(uint32_t message, uintptr_t wParam, intptr_t, void*) {
    if (message != kWmKeyDown)
        return false;
    if (wParam == static_cast<uintptr_t>(kVkReturn))
        closeDialog(1);
    else if (wParam == static_cast<uintptr_t>(kVkEscape))
        closeDialog(0);
    return false;
}

bool showConsoleWarning(WindowHandle parent) {
    ConsoleWarningState d;
    initConsoleWarning(d);
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Quor Vane";
    spec.width = kWarningWidth;
    spec.height = kWarningHeight;
    spec.onPaint = paintConsoleWarning;
    spec.onMouse = consoleWarningMouse;
    spec.onKey = consoleWarningKey;
    spec.userData = &d;
    return runModalDialog(spec) == 1 && d.dontShowAgain;
}

}  // namespace qv
