#include "ui/Appearance.h"

#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace qv {

namespace {

constexpr AccentPreset makePreset(const char* name, int r, int g, int b, float a1, float a2, float a3) {
    return AccentPreset{name, rgb(r, g, b, 1.0f), rgb(r, g, b, a1), rgb(r, g, b, a2), rgb(r, g, b, a3)};
}

struct FormatRecipe {
    const char* family;
    float size;  // pixels at 96 dpi
    int weight;
    FontStyle style;
};

constexpr const char* kInterTight = "Inter Tight";
constexpr const char* kJetBrainsMono = "JetBrains Mono";

constexpr FormatRecipe kFormatRecipes[kTextFormatCount] = {
    {kInterTight, 13.0f, 700, FontStyle::Normal},     // 0 header logo
    {kJetBrainsMono, 9.5f, 400, FontStyle::Normal},   // 1 version
    {kJetBrainsMono, 9.0f, 400, FontStyle::Normal},   // 2 small captions
    {kJetBrainsMono, 12.0f, 400, FontStyle::Normal},  // 3 information strip values
    {kInterTight, 14.0f, 600, FontStyle::Normal},     // 4 card titles
    {kJetBrainsMono, 9.5f, 400, FontStyle::Normal},   // 5 card subtitles
    {kInterTight, 10.0f, 600, FontStyle::Normal},     // 6 slider labels, zone names
    // The italic face ships in the private set, so the value format comes
    // from there like the others.
    {kInterTight, 17.0f, 700, FontStyle::Italic},     // 7 slider and zone values
    {kJetBrainsMono, 9.0f, 400, FontStyle::Normal},   // 8 units
    {kInterTight, 12.0f, 600, FontStyle::Normal},     // 9 panel and section titles
    {kJetBrainsMono, 10.0f, 400, FontStyle::Normal},  // 10 section numbers
    {kInterTight, 11.0f, 400, FontStyle::Normal},     // 11 dialog controls
    {kJetBrainsMono, 9.0f, 400, FontStyle::Normal},   // 12 status bar, small dialog text
};

constexpr Color kNeutralBrushColors[kBrushCount] = {
    rgb(10, 11, 13),             // 0
    rgb(16, 18, 22),             // 1
    rgb(22, 25, 32),             // 2
    rgb(28, 32, 41),             // 3
    rgb(35, 39, 50),             // 4
    rgb(255, 255, 255, 0.04f),   // 5
    rgb(255, 255, 255, 0.07f),   // 6
    rgb(255, 255, 255, 0.14f),   // 7
    rgb(255, 255, 255, 0.22f),   // 8
    rgb(245, 247, 250, 1.0f),    // 9
    rgb(245, 247, 250, 0.78f),   // 10
    rgb(245, 247, 250, 0.55f),   // 11
    rgb(245, 247, 250, 0.38f),   // 12
    rgb(245, 247, 250, 0.22f),   // 13
    Color{},                     // 14..17: accent
    Color{},
    Color{},
    Color{},
    rgb(0, 200, 100, 1.0f),      // 18
    rgb(245, 247, 250, 0.38f),   // 19
    rgb(0, 0, 0, 0.4f),          // 20
};

bool isAccentBrush(int index) { return index >= kBrushAccent && index <= kBrushAccentShade3; }

// GUI thread only.
struct AppearanceState {
    DensityMetrics metrics = kDensityMetrics[1];
    std::unique_ptr<TextFormat> formats[kTextFormatCount];
    Brush brushes[kBrushCount];
    Brush gradients[kGradientCount];
    int accent = 0;
};

AppearanceState& state() {
    static AppearanceState s;
    return s;
}

const Brush kNoBrush{};

}  // namespace

const AccentPreset gAccentPresets[kAccentPresetCount] = {
    makePreset("QV Rosso", 255, 74, 74, 0.55f, 0.08f, 0.28f),
    makePreset("Hemi Plum", 107, 45, 91, 0.55f, 0.10f, 0.32f),
    makePreset("Ruf Yellow", 255, 200, 0, 0.55f, 0.08f, 0.30f),
    makePreset("Estoril Blue", 30, 77, 140, 0.55f, 0.10f, 0.32f),
    makePreset("British Racing Green", 0, 66, 37, 0.55f, 0.10f, 0.32f),
    makePreset("Championship White", 232, 237, 243, 0.45f, 0.06f, 0.22f),
};

const char* const kDensityNames[kDensityCount] = {"Suzuki Cappuccino", "GR86", "BMW M5"};

const DensityMetrics kDensityMetrics[kDensityCount] = {
    {98.0f, 6.0f, 10.0f, 12.0f, 130.0f, 78.0f},
    {116.0f, 10.0f, 14.0f, 16.0f, 158.0f, 90.0f},
    {134.0f, 14.0f, 18.0f, 20.0f, 180.0f, 100.0f},
};

int accentPresetIndex(int accentTheme) {
    return accentTheme >= 0 && accentTheme < kAccentPresetCount ? accentTheme : 0;
}

void applyDensity(int density) {
    if (density >= 0 && density < kDensityCount)
        state().metrics = kDensityMetrics[density];
}

const DensityMetrics& densityMetrics() { return state().metrics; }

void createTextFormats() {
    AppearanceState& s = state();
    const float scale = dpiScale();
    for (int i = 0; i < kTextFormatCount; ++i) {
        const FormatRecipe& recipe = kFormatRecipes[i];
        s.formats[i] = createTextFormat(recipe.family, recipe.size * scale, recipe.weight, recipe.style);
    }
}

const TextFormat* guiTextFormat(int index) {
    if (index < 0 || index >= kTextFormatCount)
        return nullptr;
    return state().formats[index].get();
}

void createBrushes(int accentTheme) {
    AppearanceState& s = state();
    for (int i = 0; i < kBrushCount; ++i)
        s.brushes[i] = isAccentBrush(i) ? Brush{} : solidBrush(kNeutralBrushColors[i]);
    s.gradients[kGradientG0] = linearGradientBrush(rgb(28, 32, 41), rgb(22, 25, 32));
    s.gradients[kGradientG1] = linearGradientBrush(rgb(35, 39, 50), rgb(28, 32, 41));
    s.gradients[kGradientG2] = Brush{};
    s.gradients[kGradientG3] = Brush{};
    applyAccentTheme(accentTheme);
}

void applyAccentTheme(int accentTheme) {
    AppearanceState& s = state();
    s.accent = accentPresetIndex(accentTheme);
    const AccentPreset& preset = gAccentPresets[s.accent];
    s.brushes[kBrushAccent] = solidBrush(preset.base);
    s.brushes[kBrushAccentShade1] = solidBrush(preset.shade1);
    s.brushes[kBrushAccentShade2] = solidBrush(preset.shade2);
    s.brushes[kBrushAccentShade3] = solidBrush(preset.shade3);
    Color top = preset.base;
    top.a = 0.45f;
    Color bottom = preset.base;
    bottom.a = 0.0f;
    s.gradients[kGradientG2] = linearGradientBrush(top, bottom);
    s.gradients[kGradientG3] = linearGradientBrush(preset.shade2, preset.base);
}

const AccentPreset& currentAccent() { return gAccentPresets[state().accent]; }

namespace {

// Relative luminance of an opaque sRGB colour (channels 0..1).
double luminance(const Color& c) {
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast(const Color& a, const Color& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

int accentLabelBrush() {
    const Color& base = currentAccent().base;
    return contrast(kNeutralBrushColors[kBrushInk], base) >= contrast(kNeutralBrushColors[kBrushText], base)
               ? kBrushInk
               : kBrushText;
}

const Brush& guiBrush(int index) {
    if (index < 0 || index >= kBrushCount)
        return kNoBrush;
    return state().brushes[index];
}

const Brush& guiGradient(int index) {
    if (index < 0 || index >= kGradientCount)
        return kNoBrush;
    return state().gradients[index];
}

void releaseGuiResources() {
    AppearanceState& s = state();
    for (auto& format : s.formats)
        format.reset();
    for (Brush& brush : s.brushes)
        brush = Brush{};
    for (Brush& gradient : s.gradients)
        gradient = Brush{};
}

void drawTextUtf8(DrawContext* context, const TextFormat* format, const char* text, const RectF& rect,
                  const Brush& brush, TextAlignment alignment, ParagraphAlignment paragraph) {
    if (!context || !format || !text || !text[0] || !brush.isSet())
        return;
    context->drawText(format, text, rect, brush, alignment, paragraph);
}

void fillRoundedRect(DrawContext* context, const RectF& rect, float radius, const Brush& brush) {
    if (context)
        context->fillRoundedRect(rect, radius, brush);
}

void drawRoundedRect(DrawContext* context, const RectF& rect, float radius, const Brush& brush, float strokeWidth) {
    if (context)
        context->drawRoundedRect(rect, radius, brush, strokeWidth);
}

void fillGradientRect(DrawContext* context, const RectF& rect, float radius, const Brush& gradient) {
    if (!context || !gradient.isSet())
        return;
    Brush laid = gradient;
    laid.start = PointF{rect.left, rect.top};
    laid.end = PointF{rect.left, rect.bottom};
    context->fillRoundedRect(rect, radius, laid);
}

}  // namespace qv
