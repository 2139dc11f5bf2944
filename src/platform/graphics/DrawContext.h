#pragma once
// The drawing operations every painter uses. A DrawContext draws onto one
// target (a window's surface, WindowTarget.h, or an offscreen image,
// ImageTarget.h) in window pixels. GUI thread only.
//
// Calls with coordinates that are not finite, empty rectangles or missing
// brushes and formats draw nothing, so one bad value cannot put the target
// into an error state. Push and pop calls nest; a pop that does not match the
// innermost push is ignored, and the target unwinds whatever is left open at
// the end of the frame.

#include "platform/graphics/Brush.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/TextFormat.h"

#include <memory>
#include <string_view>

namespace qv {

class Bitmap;

enum class LineCap : uint8_t { Flat, Round, Square };

// Whether drawn text breaks into lines at the rectangle's width (between
// words, inside a word only when it is wider than the rectangle) or stays on
// one line.
enum class TextWrap : uint8_t { Wrap, SingleLine };

struct TextMetrics {
    float width = 0;   // of the widest line, pixels
    float height = 0;  // of all lines
    int lineCount = 0;
};

class DrawContext {
public:
    ~DrawContext();
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    float width() const;
    float height() const;

    // Fills the whole target (inside the current clip) with the colour.
    void clear(Color color);

    void fillRect(const RectF& rect, const Brush& brush);
    // Rounded rectangles with equal x and y radii; a radius larger than half
    // the shorter side is reduced to it.
    void fillRoundedRect(const RectF& rect, float radius, const Brush& brush);
    void drawRoundedRect(const RectF& rect, float radius, const Brush& brush, float strokeWidth);
    void fillEllipse(PointF center, float radiusX, float radiusY, const Brush& brush);
    void drawEllipse(PointF center, float radiusX, float radiusY, const Brush& brush, float strokeWidth);
    void drawLine(PointF from, PointF to, const Brush& brush, float strokeWidth, LineCap cap = LineCap::Flat);

    // A path of straight lines and circular arcs, filled and/or stroked; it
    // stays until the next beginPath or shape call, so it can be filled and
    // then outlined.
    // Arc angles are degrees clockwise from 12 o'clock; arcTo draws a line from
    // the current point to the arc's start, then the arc clockwise
    // (counter-clockwise when endDegrees < startDegrees).
    void beginPath();
    void moveTo(PointF point);
    void lineTo(PointF point);
    void arcTo(PointF center, float radius, float startDegrees, float endDegrees);
    void closePath();
    void fillPath(const Brush& brush);
    void strokePath(const Brush& brush, float strokeWidth, LineCap cap = LineCap::Flat);

    // Drawing is limited to the rectangle (intersected with the outer clip).
    void pushClip(const RectF& rect);
    // Drawing is limited to the union of the pixel rectangles (intersected
    // with the outer clip); none, or only empty ones, clip everything away.
    // Popped with popClip.
    void pushClipRects(const PixelRect* rects, int count);
    void popClip();
    // Everything up to popLayer is composed first and then blended at the
    // opacity.
    void pushLayer(float opacity);
    void popLayer();
    // Shifts all drawing up to popTranslation.
    void pushTranslation(float dx, float dy);
    void popTranslation();
    // Scales all drawing up to popScale about the origin (a factor that is
    // not positive and finite scales nothing); width() and height() stay
    // the target's own.
    void pushScale(float factor);
    void popScale();
    // The bounding box of what the clips leave drawable, in the current
    // coordinates (translations and scales applied).
    RectF clipExtents() const;

    // Draws UTF-8 text (made valid first) clipped to the rectangle, aligned
    // horizontally by `alignment` and vertically by `paragraph`. Nothing for
    // an empty text.
    void drawText(const TextFormat* format, std::string_view text, const RectF& rect, const Brush& brush,
                  TextAlignment alignment, ParagraphAlignment paragraph, TextWrap wrap = TextWrap::Wrap);
    // Size of the text laid out at most maxWidth wide (<= 0: unbounded).
    TextMetrics measureText(const TextFormat* format, std::string_view text, float maxWidth);
    // Distance from the text's left edge to the caret before the character
    // with the given index (clamped to 0..length), on one unwrapped line.
    float caretOffset(const TextFormat* format, std::string_view text, int characterIndex);
    // Index of the caret position nearest to x (from the text's left edge).
    int hitTestText(const TextFormat* format, std::string_view text, float x);
    // The same for text wrapped at maxWidth (as drawText with TextWrap::Wrap
    // and leading alignment lays it out): the caret before the character
    // with the given index as a zero-width rectangle from the layout's
    // top-left, one line high (an empty text gives the first line's), and
    // the index nearest to (x, y).
    RectF caretRect(const TextFormat* format, std::string_view text, float maxWidth, int characterIndex);
    int hitTestText(const TextFormat* format, std::string_view text, float maxWidth, float x, float y);

    // Draws the bitmap scaled into the rectangle.
    void drawBitmap(const Bitmap& bitmap, const RectF& destination, float opacity = 1.0f);

    // False once the target failed (out of memory, lost surface).
    bool isHealthy() const;

    struct Native;
    Native& native() { return *m_native; }

private:
    friend struct DrawContextFactory;
    DrawContext() = default;
    std::unique_ptr<Native> m_native;
};

}  // namespace qv
