#include "ui/dialogs/ProfileDialogPaint.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"

namespace qv {

void ensureProfileDialogAppearance() {
    if (!guiTextFormat(kFormatSectionTitle)) {
        createTextFormats();
        createBrushes(gSettings.snapshot().accentTheme);
    }
}

void drawSectionLabel(DrawContext& context, const char* text, float x, float y, float width) {
    const float s = dpiScale();
    drawTextUtf8(&context, guiTextFormat(kFormatSectionTitle), text, RectF{x, y, x + width, y + 18 * s},
                 guiBrush(kBrushAccent), TextAlignment::Leading, ParagraphAlignment::Center);
    context.drawLine(PointF{x, y + 20 * s}, PointF{x + width, y + 20 * s}, guiBrush(kBrushLine), 1.0f);
}

void drawStatusLine(DrawContext& context, const std::string& text, int style, const RectF& lineBox,
                    const RectF& room) {
    if (text.empty())
        return;
    const TextFormat* format = guiTextFormat(kFormatSmall);
    RectF box = lineBox;
    ParagraphAlignment paragraph = ParagraphAlignment::Center;
    if (context.measureText(format, text, box.width()).height > box.height()) {
        paragraph = ParagraphAlignment::Near;
        if (room.width() > 0 && room.height() > 0) {
            box = room;
            if (room.bottom <= lineBox.bottom)
                paragraph = ParagraphAlignment::Far;
        }
    }
    switch (style) {
    case kStatusNormal:
        drawTextUtf8(&context, format, text.c_str(), box, guiBrush(kBrushText), TextAlignment::Leading,
                     paragraph);
        break;
    case kStatusSuccess:
        drawTextUtf8(&context, format, text.c_str(), box, guiBrush(kBrushText78), TextAlignment::Leading,
                     paragraph);
        break;
    case kStatusError:
        drawTextUtf8(&context, format, text.c_str(), box, solidBrush(Color{0.92f, 0.25f, 0.22f, 1.0f}),
                     TextAlignment::Leading, paragraph);
        break;
    default:
        break;
    }
}

void drawProfileDialogFooter(DrawContext& context, float width, float height, float top) {
    context.fillRect(RectF{0, top, width, height}, guiBrush(kBrushSurface));
    context.drawLine(PointF{0, top}, PointF{width, top}, guiBrush(kBrushLine), 1.0f);
}

}  // namespace qv
