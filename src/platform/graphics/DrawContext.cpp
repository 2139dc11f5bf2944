#include "platform/graphics/DrawContext.h"

#include "platform/graphics/BitmapNative.h"
#include "platform/graphics/DrawContextNative.h"
#include "platform/graphics/GraphicsInternal.h"
#include "platform/graphics/TextFormatNative.h"
#include "platform/graphics/Utf8.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <pango/pangocairo.h>

namespace qv {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool finite(std::initializer_list<float> values) {
    for (const float v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

bool usableRect(const RectF& r) {
    return finite({r.left, r.top, r.right, r.bottom}) && r.right > r.left && r.bottom > r.top;
}

// Degrees clockwise from 12 o'clock to Cairo's radians (clockwise from 3 o'clock
// in a y-down space).
double toCairoAngle(float degrees) { return (static_cast<double>(degrees) - 90.0) * kPi / 180.0; }

void addStops(cairo_pattern_t* pattern, const Brush& brush) {
    for (int i = 0; i < std::clamp(brush.stopCount, 0, Brush::kMaxStops); ++i) {
        const GradientStop& stop = brush.stops[i];
        cairo_pattern_add_color_stop_rgba(pattern, std::clamp(stop.position, 0.0f, 1.0f), stop.color.r,
                                          stop.color.g, stop.color.b,
                                          std::clamp(stop.color.a * brush.opacity, 0.0f, 1.0f));
    }
}

// Makes the brush the source; false when it draws nothing.
bool setSource(cairo_t* cr, const Brush& brush) {
    if (!std::isfinite(brush.opacity))
        return false;
    switch (brush.kind) {
    case BrushKind::None:
        return false;
    case BrushKind::Solid: {
        const Color& c = brush.color;
        if (!finite({c.r, c.g, c.b, c.a}))
            return false;
        cairo_set_source_rgba(cr, c.r, c.g, c.b, std::clamp(c.a * brush.opacity, 0.0f, 1.0f));
        return true;
    }
    case BrushKind::LinearGradient: {
        if (!finite({brush.start.x, brush.start.y, brush.end.x, brush.end.y}))
            return false;
        cairo_pattern_t* pattern = cairo_pattern_create_linear(brush.start.x, brush.start.y, brush.end.x, brush.end.y);
        addStops(pattern, brush);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        return true;
    }
    case BrushKind::RadialGradient: {
        if (!finite({brush.center.x, brush.center.y, brush.originOffset.x, brush.originOffset.y, brush.radius}) ||
            brush.radius <= 0.0f)
            return false;
        cairo_pattern_t* pattern =
            cairo_pattern_create_radial(brush.center.x + brush.originOffset.x, brush.center.y + brush.originOffset.y, 0.0,
                                        brush.center.x, brush.center.y, brush.radius);
        addStops(pattern, brush);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        return true;
    }
    }
    return false;
}

cairo_line_cap_t cairoCap(LineCap cap) {
    switch (cap) {
    case LineCap::Round:
        return CAIRO_LINE_CAP_ROUND;
    case LineCap::Square:
        return CAIRO_LINE_CAP_SQUARE;
    case LineCap::Flat:
        break;
    }
    return CAIRO_LINE_CAP_BUTT;
}

void roundedRectPath(cairo_t* cr, const RectF& r, float radius) {
    const double rad = std::clamp(static_cast<double>(radius), 0.0,
                                  std::min(r.width(), r.height()) / 2.0);
    cairo_new_path(cr);
    if (rad <= 0.0) {
        cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        return;
    }
    cairo_arc(cr, r.right - rad, r.top + rad, rad, -kPi / 2, 0);
    cairo_arc(cr, r.right - rad, r.bottom - rad, rad, 0, kPi / 2);
    cairo_arc(cr, r.left + rad, r.bottom - rad, rad, kPi / 2, kPi);
    cairo_arc(cr, r.left + rad, r.top + rad, rad, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

void ellipsePath(cairo_t* cr, PointF c, float rx, float ry) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, c.x, c.y);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_close_path(cr);
    cairo_restore(cr);  // the path stays in device space, so strokes keep their width
}

bool usableStroke(float width) { return std::isfinite(width) && width > 0.0f; }

// Pango measures in ints of 1/PANGO_SCALE pixel; a pixel value past what they
// hold is cut to the largest one instead of overflowing the conversion.
int toPangoUnits(float pixels) {
    constexpr double kLimit = static_cast<double>(INT_MAX / PANGO_SCALE);
    return static_cast<int>(std::clamp(static_cast<double>(pixels), -kLimit, kLimit) * PANGO_SCALE);
}

}  // namespace

// --- lifetime -------------------------------------------------------------

DrawContext::Native::~Native() {
    unwind();
    if (layout)
        g_object_unref(layout);
    if (pango)
        g_object_unref(pango);
    if (cairo)
        cairo_destroy(cairo);
}

void DrawContext::Native::unwind() {
    overflow = 0;
    while (depth > 0) {
        const PushEntry entry = stack[--depth];
        if (entry.kind == PushKind::Layer) {
            cairo_pop_group_to_source(cairo);
            cairo_paint_with_alpha(cairo, entry.opacity);
        } else {
            cairo_restore(cairo);
        }
    }
}

std::unique_ptr<DrawContext> DrawContextFactory::create(cairo_t* cairo) {
    std::unique_ptr<DrawContext> context(new DrawContext());
    context->m_native = std::make_unique<DrawContext::Native>();
    DrawContext::Native& n = *context->m_native;
    n.cairo = cairo;
    if (PangoFontMap* map = graphics_internal::fontMap()) {
        n.pango = pango_font_map_create_context(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(n.pango, options);
        cairo_font_options_destroy(options);
        n.layout = pango_layout_new(n.pango);
    }
    n.text.reserve(256);
    return context;
}

DrawContext::~DrawContext() = default;

float DrawContext::width() const {
    cairo_surface_t* surface = cairo_get_target(m_native->cairo);
    return cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE
               ? static_cast<float>(cairo_image_surface_get_width(surface)) : 0.0f;
}

float DrawContext::height() const {
    cairo_surface_t* surface = cairo_get_target(m_native->cairo);
    return cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE
               ? static_cast<float>(cairo_image_surface_get_height(surface)) : 0.0f;
}

bool DrawContext::isHealthy() const { return cairo_status(m_native->cairo) == CAIRO_STATUS_SUCCESS; }

// --- shapes ---------------------------------------------------------------

void DrawContext::clear(Color color) {
    cairo_t* cr = m_native->cairo;
    if (!finite({color.r, color.g, color.b, color.a}))
        return;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.r, color.g, color.b, std::clamp(color.a, 0.0f, 1.0f));
    cairo_paint(cr);
    cairo_restore(cr);
}

void DrawContext::fillRect(const RectF& rect, const Brush& brush) { fillRoundedRect(rect, 0.0f, brush); }

void DrawContext::fillRoundedRect(const RectF& rect, float radius, const Brush& brush) {
    cairo_t* cr = m_native->cairo;
    if (!usableRect(rect) || !std::isfinite(radius) || !setSource(cr, brush))
        return;
    roundedRectPath(cr, rect, radius);
    cairo_fill(cr);
}

void DrawContext::drawRoundedRect(const RectF& rect, float radius, const Brush& brush, float strokeWidth) {
    cairo_t* cr = m_native->cairo;
    if (!usableRect(rect) || !std::isfinite(radius) || !usableStroke(strokeWidth) || !setSource(cr, brush))
        return;
    roundedRectPath(cr, rect, radius);
    cairo_set_line_width(cr, strokeWidth);
    cairo_stroke(cr);
}

void DrawContext::fillEllipse(PointF center, float radiusX, float radiusY, const Brush& brush) {
    cairo_t* cr = m_native->cairo;
    if (!finite({center.x, center.y, radiusX, radiusY}) || radiusX <= 0 || radiusY <= 0 || !setSource(cr, brush))
        return;
    ellipsePath(cr, center, radiusX, radiusY);
    cairo_fill(cr);
}

void DrawContext::drawEllipse(PointF center, float radiusX, float radiusY, const Brush& brush, float strokeWidth) {
    cairo_t* cr = m_native->cairo;
    if (!finite({center.x, center.y, radiusX, radiusY}) || radiusX <= 0 || radiusY <= 0 ||
        !usableStroke(strokeWidth) || !setSource(cr, brush))
        return;
    ellipsePath(cr, center, radiusX, radiusY);
    cairo_set_line_width(cr, strokeWidth);
    cairo_stroke(cr);
}

void DrawContext::drawLine(PointF from, PointF to, const Brush& brush, float strokeWidth, LineCap cap) {
    cairo_t* cr = m_native->cairo;
    if (!finite({from.x, from.y, to.x, to.y}) || !usableStroke(strokeWidth) || !setSource(cr, brush))
        return;
    cairo_new_path(cr);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    cairo_set_line_width(cr, strokeWidth);
    cairo_set_line_cap(cr, cairoCap(cap));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// --- paths ----------------------------------------------------------------

void DrawContext::beginPath() { cairo_new_path(m_native->cairo); }

void DrawContext::moveTo(PointF point) {
    if (finite({point.x, point.y}))
        cairo_move_to(m_native->cairo, point.x, point.y);
}

void DrawContext::lineTo(PointF point) {
    if (finite({point.x, point.y}))
        cairo_line_to(m_native->cairo, point.x, point.y);
}

void DrawContext::arcTo(PointF center, float radius, float startDegrees, float endDegrees) {
    if (!finite({center.x, center.y, radius, startDegrees, endDegrees}) || radius <= 0.0f)
        return;
    if (endDegrees >= startDegrees)
        cairo_arc(m_native->cairo, center.x, center.y, radius, toCairoAngle(startDegrees), toCairoAngle(endDegrees));
    else
        cairo_arc_negative(m_native->cairo, center.x, center.y, radius, toCairoAngle(startDegrees),
                           toCairoAngle(endDegrees));
}

void DrawContext::closePath() { cairo_close_path(m_native->cairo); }

void DrawContext::fillPath(const Brush& brush) {
    if (setSource(m_native->cairo, brush))
        cairo_fill_preserve(m_native->cairo);
}

void DrawContext::strokePath(const Brush& brush, float strokeWidth, LineCap cap) {
    cairo_t* cr = m_native->cairo;
    if (!usableStroke(strokeWidth) || !setSource(cr, brush))
        return;
    cairo_set_line_width(cr, strokeWidth);
    cairo_set_line_cap(cr, cairoCap(cap));
    cairo_stroke_preserve(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// --- clip, layers, translation -------------------------------------------

namespace {

// Records a push; false when the stack is full (the push is then ignored).
bool recordPush(DrawContext::Native& n, DrawContext::Native::PushKind kind, float opacity) {
    if (n.depth >= DrawContext::Native::kMaxDepth) {
        ++n.overflow;
        return false;
    }
    n.stack[n.depth++] = {kind, opacity};
    return true;
}

// True when the innermost push is of this kind and was taken off the stack.
bool takePop(DrawContext::Native& n, DrawContext::Native::PushKind kind, float* opacity) {
    if (n.overflow > 0) {
        --n.overflow;
        return false;
    }
    if (n.depth == 0 || n.stack[n.depth - 1].kind != kind)
        return false;
    --n.depth;
    if (opacity)
        *opacity = n.stack[n.depth].opacity;
    return true;
}

}  // namespace

void DrawContext::pushClip(const RectF& rect) {
    Native& n = *m_native;
    if (!recordPush(n, Native::PushKind::Clip, 1.0f))
        return;
    cairo_save(n.cairo);
    cairo_new_path(n.cairo);
    if (usableRect(rect))
        cairo_rectangle(n.cairo, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(n.cairo);  // an empty or unusable rectangle clips everything away
}

void DrawContext::pushClipRects(const PixelRect* rects, int count) {
    Native& n = *m_native;
    if (!recordPush(n, Native::PushKind::Clip, 1.0f))
        return;
    cairo_save(n.cairo);
    cairo_new_path(n.cairo);
    for (int i = 0; rects && i < count; ++i)
        if (!rects[i].empty())
            cairo_rectangle(n.cairo, rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    cairo_clip(n.cairo);
}

void DrawContext::popClip() {
    if (takePop(*m_native, Native::PushKind::Clip, nullptr))
        cairo_restore(m_native->cairo);
}

void DrawContext::pushLayer(float opacity) {
    Native& n = *m_native;
    const float o = std::isfinite(opacity) ? std::clamp(opacity, 0.0f, 1.0f) : 1.0f;
    if (recordPush(n, Native::PushKind::Layer, o))
        cairo_push_group(n.cairo);
}

void DrawContext::popLayer() {
    float opacity = 1;
    if (takePop(*m_native, Native::PushKind::Layer, &opacity)) {
        cairo_pop_group_to_source(m_native->cairo);
        cairo_paint_with_alpha(m_native->cairo, opacity);
    }
}

void DrawContext::pushTranslation(float dx, float dy) {
    Native& n = *m_native;
    if (!recordPush(n, Native::PushKind::Translation, 1.0f))
        return;
    cairo_save(n.cairo);
    if (finite({dx, dy}))
        cairo_translate(n.cairo, dx, dy);
}

void DrawContext::popTranslation() {
    if (takePop(*m_native, Native::PushKind::Translation, nullptr))
        cairo_restore(m_native->cairo);
}

void DrawContext::pushScale(float factor) {
    Native& n = *m_native;
    if (!recordPush(n, Native::PushKind::Scale, 1.0f))
        return;
    cairo_save(n.cairo);
    if (std::isfinite(factor) && factor > 0.0f)
        cairo_scale(n.cairo, factor, factor);
}

void DrawContext::popScale() {
    if (takePop(*m_native, Native::PushKind::Scale, nullptr))
        cairo_restore(m_native->cairo);
}

RectF DrawContext::clipExtents() const {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_clip_extents(m_native->cairo, &x0, &y0, &x1, &y1);
    return RectF{static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1), static_cast<float>(y1)};
}

// --- text -----------------------------------------------------------------

namespace {

// Puts the text (made valid) into the shared layout; false when there is
// nothing to lay out.
bool prepareLayout(DrawContext::Native& n, const TextFormat* format, std::string_view text, float maxWidth) {
    if (!n.layout || !format || text.empty())
        return false;
    sanitizeUtf8(text, n.text);
    if (n.text.empty())
        return false;
    pango_cairo_update_context(n.cairo, n.pango);  // follows the current translation
    const TextFormat::Native& f = format->native();
    if (static_cast<bool>(pango_context_get_round_glyph_positions(n.pango)) == f.exactPositions) {
        pango_context_set_round_glyph_positions(n.pango, !f.exactPositions);
        pango_layout_context_changed(n.layout);
    }
    pango_layout_set_attributes(n.layout, f.attributes);  // null for most formats
    pango_layout_set_font_description(n.layout, format->native().description);
    pango_layout_set_text(n.layout, n.text.data(), static_cast<int>(n.text.size()));
    pango_layout_set_wrap(n.layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_width(n.layout, std::isfinite(maxWidth) && maxWidth > 0 ? toPangoUnits(maxWidth) : -1);
    pango_layout_set_alignment(n.layout, PANGO_ALIGN_LEFT);
    return true;
}

}  // namespace

void DrawContext::drawText(const TextFormat* format, std::string_view text, const RectF& rect, const Brush& brush,
                           TextAlignment alignment, ParagraphAlignment paragraph, TextWrap wrap) {
    Native& n = *m_native;
    if (!usableRect(rect) || !brush.isSet() || !prepareLayout(n, format, text, rect.width()))
        return;
    switch (alignment) {
    case TextAlignment::Trailing:
        pango_layout_set_alignment(n.layout, PANGO_ALIGN_RIGHT);
        break;
    case TextAlignment::Center:
        pango_layout_set_alignment(n.layout, PANGO_ALIGN_CENTER);
        break;
    case TextAlignment::Leading:
        break;
    }
    if (wrap == TextWrap::SingleLine) {
        // Pango wraps whenever a width is set; without one it aligns nothing,
        // so a single line is placed by hand from its own width.
        pango_layout_set_width(n.layout, -1);
    }
    PangoRectangle logical{};
    pango_layout_get_extents(n.layout, nullptr, &logical);
    const double textHeight = static_cast<double>(logical.height) / PANGO_SCALE;
    double x = rect.left;
    if (wrap == TextWrap::SingleLine) {
        const double textWidth = static_cast<double>(logical.width) / PANGO_SCALE;
        if (alignment == TextAlignment::Trailing)
            x = rect.right - textWidth;
        else if (alignment == TextAlignment::Center)
            x = rect.left + (rect.width() - textWidth) / 2.0;
    }
    double y = rect.top;
    if (paragraph == ParagraphAlignment::Far)
        y = rect.bottom - textHeight;
    else if (paragraph == ParagraphAlignment::Center)
        y = rect.top + (rect.height() - textHeight) / 2.0;
    cairo_t* cr = n.cairo;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    if (setSource(cr, brush)) {
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, n.layout);
    }
    cairo_new_path(cr);
    cairo_restore(cr);
}

TextMetrics DrawContext::measureText(const TextFormat* format, std::string_view text, float maxWidth) {
    Native& n = *m_native;
    TextMetrics metrics;
    if (!prepareLayout(n, format, text, maxWidth))
        return metrics;
    PangoRectangle logical{};
    pango_layout_get_extents(n.layout, nullptr, &logical);
    metrics.width = static_cast<float>(logical.width) / PANGO_SCALE;
    metrics.height = static_cast<float>(logical.height) / PANGO_SCALE;
    metrics.lineCount = pango_layout_get_line_count(n.layout);
    return metrics;
}

float DrawContext::caretOffset(const TextFormat* format, std::string_view text, int characterIndex) {
    Native& n = *m_native;
    if (characterIndex <= 0 || !prepareLayout(n, format, text, 0.0f))
        return 0.0f;
    const size_t byte = utf8ByteOffset(n.text, characterIndex);
    PangoRectangle position{};
    pango_layout_index_to_pos(n.layout, static_cast<int>(byte), &position);
    return static_cast<float>(position.x) / PANGO_SCALE;
}

int DrawContext::hitTestText(const TextFormat* format, std::string_view text, float x) {
    Native& n = *m_native;
    if (!std::isfinite(x) || !prepareLayout(n, format, text, 0.0f))
        return 0;
    int index = 0;
    int trailing = 0;
    pango_layout_xy_to_index(n.layout, toPangoUnits(x), 0, &index, &trailing);
    const int count = utf8CharacterCount(n.text);
    const int character = utf8CharacterCount(std::string_view(n.text).substr(0, static_cast<size_t>(index))) + trailing;
    return std::clamp(character, 0, count);
}

RectF DrawContext::caretRect(const TextFormat* format, std::string_view text, float maxWidth, int characterIndex) {
    Native& n = *m_native;
    if (!prepareLayout(n, format, text, maxWidth)) {
        // No text: a caret at the start, as high as a line.
        if (!prepareLayout(n, format, "X", maxWidth))
            return RectF{};
        PangoRectangle logical{};
        pango_layout_get_extents(n.layout, nullptr, &logical);
        return RectF{0.0f, 0.0f, 0.0f, static_cast<float>(logical.height) / PANGO_SCALE};
    }
    const int count = utf8CharacterCount(n.text);
    const size_t byte = utf8ByteOffset(n.text, std::clamp(characterIndex, 0, count));
    PangoRectangle strong{};
    pango_layout_get_cursor_pos(n.layout, static_cast<int>(byte), &strong, nullptr);
    const float x = static_cast<float>(strong.x) / PANGO_SCALE;
    const float y = static_cast<float>(strong.y) / PANGO_SCALE;
    return RectF{x, y, x, y + static_cast<float>(strong.height) / PANGO_SCALE};
}

int DrawContext::hitTestText(const TextFormat* format, std::string_view text, float maxWidth, float x, float y) {
    Native& n = *m_native;
    if (!std::isfinite(x) || !std::isfinite(y) || !prepareLayout(n, format, text, maxWidth))
        return 0;
    int index = 0;
    int trailing = 0;
    pango_layout_xy_to_index(n.layout, toPangoUnits(x), toPangoUnits(y), &index, &trailing);
    const int count = utf8CharacterCount(n.text);
    const int character = utf8CharacterCount(std::string_view(n.text).substr(0, static_cast<size_t>(index))) + trailing;
    return std::clamp(character, 0, count);
}

// --- bitmaps --------------------------------------------------------------

void DrawContext::drawBitmap(const Bitmap& bitmap, const RectF& destination, float opacity) {
    cairo_t* cr = m_native->cairo;
    if (!usableRect(destination) || bitmap.width() <= 0 || bitmap.height() <= 0 || !std::isfinite(opacity))
        return;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, destination.left, destination.top);
    cairo_scale(cr, destination.width() / bitmap.width(), destination.height() / bitmap.height());
    cairo_set_source_surface(cr, bitmap.native().surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);  // no fading into transparency at the edges
    cairo_rectangle(cr, 0, 0, bitmap.width(), bitmap.height());
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, std::clamp(opacity, 0.0f, 1.0f));
    cairo_restore(cr);
}

}  // namespace qv
