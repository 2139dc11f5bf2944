#include "ui/PopupMenu.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"

#include <algorithm>
#include <vector>

namespace qv {

namespace {

constexpr float kMenuWidth = 200;     // 96-dpi units
constexpr float kItemHeight = 28;
constexpr float kSeparatorHeight = 9;
constexpr float kPadding = 4;
constexpr int kMaxItems = 64;

struct MenuState {
    const PopupMenuItem* items = nullptr;
    int count = 0;
    int hot = -1;  // highlighted item
    int chosen = 0;
    bool done = false;
    bool armed = false;  // the button that opened the menu was released
    bool active = false;  // the menu window had the keyboard focus
};

float itemTop(const MenuState& m, int index) {
    const float s = dpiScale();
    float y = kPadding * s;
    for (int i = 0; i < index; ++i)
        y += (m.items[i].separator ? kSeparatorHeight : kItemHeight) * s;
    return y;
}

float menuHeight(const MenuState& m) { return itemTop(m, m.count) + kPadding * dpiScale(); }

bool selectable(const MenuState& m, int i) {
    return i >= 0 && i < m.count && !m.items[i].separator && m.items[i].enabled && m.items[i].label;
}

int itemAt(const MenuState& m, float x, float y) {
    const float s = dpiScale();
    if (x < 0 || x >= kMenuWidth * s)
        return -1;
    for (int i = 0; i < m.count; ++i) {
        const float top = itemTop(m, i);
        const float h = (m.items[i].separator ? kSeparatorHeight : kItemHeight) * s;
        if (y >= top && y < top + h)
            return selectable(m, i) ? i : -1;
    }
    return -1;
}

void finish(MenuState& m, int id) {
    m.chosen = id;
    m.done = true;
}

void paintMenu(WindowHandle window, MenuState& m) {
    DrawContext* context = beginWindowPaint(window);
    if (!context)
        return;
    if (!guiTextFormat(kFormatControl)) {
        createTextFormats();
        createBrushes(gSettings.snapshot().accentTheme);
    }
    const float s = dpiScale();
    const float w = context->width(), h = context->height();
    context->clear(rgb(22, 25, 32));
    context->drawRoundedRect(RectF{0.5f, 0.5f, w - 0.5f, h - 0.5f}, 0, guiBrush(kBrushLineStrong), 1);
    for (int i = 0; i < m.count; ++i) {
        const PopupMenuItem& item = m.items[i];
        const float top = itemTop(m, i);
        if (item.separator) {
            const float y = top + kSeparatorHeight * s / 2;
            context->drawLine(PointF{8 * s, y}, PointF{w - 8 * s, y}, guiBrush(kBrushLine), 1);
            continue;
        }
        const RectF row{kPadding * s, top, w - kPadding * s, top + kItemHeight * s};
        if (i == m.hot)
            context->fillRect(row, guiBrush(kBrushHover));
        drawTextUtf8(context, guiTextFormat(kFormatControl), item.label ? item.label : "",
                     RectF{row.left + 10 * s, row.top, row.right - 6 * s, row.bottom},
                     guiBrush(item.enabled ? kBrushText : kBrushText38), TextAlignment::Leading,
                     ParagraphAlignment::Center);
    }
    endWindowPaint(window);
}

intptr_t menuProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) {
    auto& m = *static_cast<MenuState*>(user);
    const float x = static_cast<float>(pointParamX(lParam)), y = static_cast<float>(pointParamY(lParam));
    switch (message) {
    case kWmPaint:
        paintMenu(window, m);
        return 0;
    case kWmDestroy:
        if (!m.done)
            finish(m, 0);
        return 0;
    case kWmClose:
        finish(m, 0);
        return 1;
    case kWmActivate:
        // Where the menu is a window that takes the focus (Wayland), the
        // focus going to another window dismisses it.
        if (wParam)
            m.active = true;
        else if (m.active)
            finish(m, 0);
        return 0;
    case kWmMouseMove: {
        const int hot = itemAt(m, x, y);
        if (hot != m.hot) {
            m.hot = hot;
            invalidateWindow(window);
        }
        return 0;
    }
    case kWmLButtonDown:
    case kWmLButtonDblClk:
    case kWmRButtonDown: {
        int w = 0, h = 0;
        clientSize(window, &w, &h);
        if (x < 0 || y < 0 || x >= w || y >= h)
            finish(m, 0);  // a click elsewhere dismisses
        m.armed = true;
        return 0;
    }
    case kWmLButtonUp:
    case kWmRButtonUp: {
        if (!m.armed)
            return 0;  // the release of the click that opened the menu
        const int i = itemAt(m, x, y);
        if (selectable(m, i))
            finish(m, m.items[i].id);
        return 0;
    }
    case kWmKeyDown: {
        const int key = static_cast<int>(wParam);
        if (key == kVkEscape) {
            finish(m, 0);
        } else if (key == kVkReturn || key == kVkSpace) {
            if (selectable(m, m.hot))
                finish(m, m.items[m.hot].id);
        } else if (key == kVkDown || key == kVkUp) {
            const int step = key == kVkDown ? 1 : -1;
            for (int n = 0, i = m.hot; n < m.count; ++n) {
                i = (i + step + m.count) % m.count;
                if (selectable(m, i)) {
                    m.hot = i;
                    break;
                }
            }
            invalidateWindow(window);
        }
        return 0;
    }
    default:
        return 0;
    }
}

int runRealPopupMenu(WindowHandle owner, float x, float y, const PopupMenuItem* items, int count) {
    if (!items || count <= 0)
        return 0;
    MenuState m;
    m.items = items;
    m.count = std::min(count, kMaxItems);
    int sx = static_cast<int>(x), sy = static_cast<int>(y);
    if (owner && isWindow(owner)) {
        const WindowRect r = windowRect(owner);
        sx += r.x;
        sy += r.y;
    }
    const float s = dpiScale();
    const int w = static_cast<int>(kMenuWidth * s), h = std::max(1, static_cast<int>(menuHeight(m)));
    // Kept on the display that holds the point.
    for (const WindowRect& d : displayBounds()) {
        if (sx >= d.x && sx < d.x + d.width && sy >= d.y && sy < d.y + d.height) {
            sx = std::clamp(sx, d.x, std::max(d.x, d.x + d.width - w));
            sy = std::clamp(sy, d.y, std::max(d.y, d.y + d.height - h));
            break;
        }
    }
    WindowOptions options;
    options.kind = WindowKind::Popup;
    options.title = "Quor Vane";
    options.x = sx;
    options.y = sy;
    options.width = w;
    options.height = h;
    options.owner = owner;
    options.proc = menuProc;
    options.user = &m;
    WindowHandle window = createWindow(options);
    if (!window)
        return 0;
    // The menu takes the mouse from whoever held it; nobody gets it back: the
    // press that held it was over when the menu opened.
    setMouseCapture(window);
    bringWindowToFront(window);
    runMessageLoopUntil(m.done);
    if (mouseCaptureWindow() == window)
        releaseMouseCapture();
    destroyWindow(window);
    return m.done ? m.chosen : 0;
}

PopupMenuRunner gRunner = nullptr;

}  // namespace

int runPopupMenu(WindowHandle owner, float x, float y, const PopupMenuItem* items, int count) {
    return gRunner ? gRunner(owner, x, y, items, count) : runRealPopupMenu(owner, x, y, items, count);
}

void setPopupMenuRunner(PopupMenuRunner runner) { gRunner = runner; }

}  // namespace qv
