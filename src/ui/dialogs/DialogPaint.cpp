#include "ui/dialogs/DialogPaint.h"

#include "settings/LiveSettings.h"
#include "ui/Appearance.h"

namespace qv {

void ensureDialogAppearance() {
    if (guiTextFormat(kFormatControl))
        return;
    const HapticSettings settings = gSettings.snapshot();
    applyDensity(settings.guiDensity);
    createTextFormats();
    createBrushes(settings.accentTheme);
}

void paintDialogFooter(DrawContext& context, float width, float height, float top) {
    context.fillRect(RectF{0, top, width, height}, guiBrush(kBrushSurface));
    context.drawLine(PointF{0, top + 0.5f}, PointF{width, top + 0.5f}, guiBrush(kBrushLine), 1);
}

}  // namespace qv
