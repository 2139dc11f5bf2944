#include "ui/Logo.h"

#include "platform/graphics/ImageTarget.h"
#include "ui/Appearance.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr float kLogoUnits = 124;      // the header's logo box is 124 units wide
constexpr float kSecondWordAt = 52;    // "VANE" starts 52 units in
constexpr const char* kLogoFamily = "Inter Tight";
constexpr int kLogoWeight = 700;
constexpr float kIconTextShare = 0.8f;  // of the tile's width the wider word may take

}  // namespace

void paintLogo(DrawContext& context, const RectF& box) {
    const TextFormat* format = guiTextFormat(kFormatLogo);
    if (!format || !(box.width() > 0) || !(box.height() > 0))
        return;
    const float split = box.left + box.width() * (kSecondWordAt / kLogoUnits);
    context.drawText(format, "QUOR ", RectF{box.left, box.top, split, box.bottom}, guiBrush(kBrushText),
                     TextAlignment::Leading, ParagraphAlignment::Near, TextWrap::SingleLine);
    context.drawText(format, "VANE", RectF{split, box.top, box.right, box.bottom}, guiBrush(kBrushAccent),
                     TextAlignment::Leading, ParagraphAlignment::Near, TextWrap::SingleLine);
}

TrayIconImage renderLogoIcon(int size) {
    TrayIconImage icon;
    if (size < 1 || size > 256 || !guiBrush(kBrushWindow).isSet() || !guiBrush(kBrushAccent).isSet())
        return icon;
    auto target = ImageTarget::create(size, size);
    if (!target)
        return icon;
    DrawContext& context = target->context();
    const float side = static_cast<float>(size);
    const RectF tile{0, 0, side, side};
    const float radius = side * 0.2f;
    context.fillRoundedRect(tile, radius, guiBrush(kBrushWindow));
    const float line = std::max(1.0f, side / 32.0f);
    const float half = line * 0.5f;
    context.drawRoundedRect(RectF{half, half, side - half, side - half}, radius - half, guiBrush(kBrushLineStrong),
                            line);

    // Two lines fill most of the height; the wider word sets the size.
    const float trial = side * 0.36f;
    if (auto probe = createTextFormat(kLogoFamily, trial, kLogoWeight, FontStyle::Normal)) {
        const float widest = std::max(context.measureText(probe.get(), "QUOR", 0).width,
                                      context.measureText(probe.get(), "VANE", 0).width);
        const float fitted = widest > 0 ? std::min(trial, trial * side * kIconTextShare / widest) : trial;
        if (auto format = createTextFormat(kLogoFamily, fitted, kLogoWeight, FontStyle::Normal)) {
            const float middle = side * 0.5f;
            const float margin = side * 0.1f;
            context.drawText(format.get(), "QUOR", RectF{0, margin, side, middle}, guiBrush(kBrushText),
                             TextAlignment::Center, ParagraphAlignment::Far, TextWrap::SingleLine);
            context.drawText(format.get(), "VANE", RectF{0, middle, side, side - margin}, guiBrush(kBrushAccent),
                             TextAlignment::Center, ParagraphAlignment::Near, TextWrap::SingleLine);
        }
    }

    target->finish();
    icon.size = size;
    icon.argb.resize(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Rgba8 p = target->pixel(x, y);
            icon.argb[static_cast<size_t>(y) * size + x] =
                uint32_t(p.a) << 24 | uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b);
        }
    }
    return icon;
}

}  // namespace qv
