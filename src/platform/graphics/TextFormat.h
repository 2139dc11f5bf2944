#pragma once
// A text format: font family, pixel size, weight and style, resolved in the
// private font set (Graphics.h). Alignment is not part of the format: every
// draw call passes its own.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

enum class FontStyle : uint8_t { Normal, Italic };

enum class TextAlignment : uint8_t { Leading = 0, Trailing = 1, Center = 2 };
enum class ParagraphAlignment : uint8_t { Near = 0, Far = 1, Center = 2 };

class TextFormat {
public:
    ~TextFormat();
    TextFormat(const TextFormat&) = delete;
    TextFormat& operator=(const TextFormat&) = delete;

    const std::string& family() const { return m_family; }
    float size() const { return m_size; }  // pixels
    int weight() const { return m_weight; }  // 100..1000, 400 regular, 700 bold
    FontStyle style() const { return m_style; }

    struct Native;
    const Native& native() const { return *m_native; }

private:
    friend std::unique_ptr<TextFormat> createTextFormat(std::string_view, float, int, FontStyle);
    friend std::unique_ptr<TextFormat> createGridTextFormat(std::string_view, float, int);
    TextFormat() = default;

    std::string m_family;
    float m_size = 0;
    int m_weight = 400;
    FontStyle m_style = FontStyle::Normal;
    std::unique_ptr<Native> m_native;
};

// A format of the given family at `size` pixels (already scaled by the caller).
// Null before graphicsInit, for an empty family, or a size that is not a
// positive finite number; the weight is clamped to 100..1000.
std::unique_ptr<TextFormat> createTextFormat(std::string_view family, float size, int weight, FontStyle style);
// The same for text on a character grid (a monospace font): every character
// keeps its own glyph and advances by the font's own width: ligatures and
// contextual alternates are off ("liga" 0, "calt" 0) and glyph positions are
// not rounded to whole pixels, so a run of n characters is n advances wide.
std::unique_ptr<TextFormat> createGridTextFormat(std::string_view family, float size, int weight);

// The font file the font set picks for the format ("" when none): tells
// whether the private fonts are in use.
std::string resolvedFontFile(const TextFormat& format);

}  // namespace qv
