#include "ui/MessageBox.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/Widgets.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qv {

namespace {

constexpr int kBoxWidth = 440;        // 96-dpi units
constexpr int kBoxBaseHeight = 112;   // margins and the button row
constexpr int kLineHeight = 18;
constexpr int kCharsPerLine = 56;
constexpr int kMaxLines = 24;

struct BoxState {
    const char* text = "";
    MessageKind kind = MessageKind::Info;
    bool yesNo = false;
    UiButton buttons[2];  // OK, or Yes and No
    int focus = 0;        // the button Enter activates
    WidgetList widgets;   // filled by the layout of each paint
};

int buttonCount(const BoxState& b) { return b.yesNo ? 2 : 1; }

// Lines the text will take, estimated from its length, so the box is sized
// before anything is drawn.
int estimatedLines(const char* text) {
    int lines = 0;
    std::string_view rest(text ? text : "");
    while (true) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        lines += std::max<int>(1, static_cast<int>((line.size() + kCharsPerLine - 1) / kCharsPerLine));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return std::clamp(lines, 1, kMaxLines);
}

void ensureAppearance() {
    if (!guiTextFormat(kFormatControl)) {
        createTextFormats();
        createBrushes(gSettings.snapshot().accentTheme);
    }
}

void layout(BoxState& b, float width, float height) {
    const float s = dpiScale();
    const float bw = 96 * s, bh = 32 * s, gap = 10 * s, margin = 18 * s;
    float x = width - margin - bw;
    for (int i = buttonCount(b) - 1; i >= 0; --i) {
        b.buttons[i].rect = RectF{x, height - margin - bh, x + bw, height - margin};
        x -= bw + gap;
    }
    for (int i = 0; i < buttonCount(b); ++i)
        b.buttons[i].style = i == b.focus ? kButtonPrimary : kButtonPlain;
    b.widgets.clear();
    for (int i = 0; i < 2; ++i)
        b.widgets.add(b.buttons[i], i, i < buttonCount(b));
}

void paintBox(DrawContext& context, float width, float height, void* user) {
    auto& b = *static_cast<BoxState*>(user);
    ensureAppearance();
    layout(b, width, height);
    const float s = dpiScale();
    // A stripe at the left edge: accent for warnings and errors.
    context.fillRect(RectF{0, 0, 4 * s, height},
                     guiBrush(b.kind == MessageKind::Info ? kBrushLineBright : kBrushAccent));
    drawTextUtf8(&context, guiTextFormat(kFormatControl), b.text,
                 RectF{22 * s, 18 * s, width - 22 * s, height - 64 * s}, guiBrush(kBrushText), TextAlignment::Leading,
                 ParagraphAlignment::Near);
    for (int i = 0; i < buttonCount(b); ++i)
        drawButton(context, b.buttons[i]);
}

void boxWidget(int id, void* user) { closeDialog(static_cast<BoxState*>(user)->yesNo ? (id == 0 ? 1 : 0) : 1); }

bool mouseBox(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<BoxState*>(user)->widgets, message, x, y, wParam, boxWidget, user);
}

bool keyBox(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& b = *static_cast<BoxState*>(user);
    if (message != kWmKeyDown)
        return false;
    switch (static_cast<int>(wParam)) {
    case kVkEscape:
        closeDialog(b.yesNo ? 0 : 1);
        return false;
    case kVkReturn:
    case kVkSpace:
        closeDialog(b.yesNo ? (b.focus == 0 ? 1 : 0) : 1);
        return false;
    case kVkTab:
    case kVkLeft:
    case kVkRight:
        if (b.yesNo)
            b.focus = 1 - b.focus;
        return true;
    default:
        return false;
    }
}

int runBox(WindowHandle parent, const char* title, const char* text, MessageKind kind, bool yesNo) {
    BoxState b;
    b.text = text ? text : "";
    b.kind = kind;
    b.yesNo = yesNo;
    if (yesNo) {
        setWidgetText(b.buttons[0].label, "Yes");
        setWidgetText(b.buttons[1].label, "No");
        b.focus = 1;  // No is the default
    } else {
        setWidgetText(b.buttons[0].label, "OK");
    }
    DialogSpec spec;
    spec.parent = parent;
    spec.title = title;
    spec.width = kBoxWidth;
    spec.height = kBoxBaseHeight + kLineHeight * estimatedLines(b.text);
    spec.onPaint = paintBox;
    spec.onMouse = mouseBox;
    spec.onKey = keyBox;
    spec.userData = &b;
    return runModalDialog(spec);
}

class DrawnMessageBoxes final : public IMessageBoxes {
public:
    void show(WindowHandle parent, const char* title, const char* text, MessageKind kind) override {
        runBox(parent, title, text, kind, false);
    }
    bool askYesNo(WindowHandle parent, const char* title, const char* text) override {
        return runBox(parent, title, text, MessageKind::Warning, true) == 1;
    }
};

DrawnMessageBoxes gDrawnBoxes;
IMessageBoxes* gInstalledBoxes = nullptr;

}  // namespace

IMessageBoxes& messageBoxes() { return gInstalledBoxes ? *gInstalledBoxes : gDrawnBoxes; }

void setMessageBoxes(IMessageBoxes* boxes) { gInstalledBoxes = boxes; }

}  // namespace qv
