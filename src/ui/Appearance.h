#pragma once
// The look of the main window and its dialogs, fixed in one place: six accent
// colour presets, three card densities, the numbered text formats, brushes
// and gradients every painter uses, and small drawing helpers. GUI thread
// only. The accent preset and the density come from the settings
// (accentTheme, guiDensity); the main window applies them.

#include "platform/graphics/Brush.h"
#include "platform/graphics/DrawContext.h"
#include "platform/graphics/TextFormat.h"

namespace qv {

// --- accent presets --------------------------------------------------------

inline constexpr int kAccentPresetCount = 6;

struct AccentPreset {
    const char* name;
    Color base;
    Color shade1;  // the base RGB with lower alphas
    Color shade2;
    Color shade3;
};

// Indexed by accentTheme: "QV Rosso", "Hemi Plum", "Ruf Yellow", "Estoril
// Blue", "British Racing Green", "Championship White".
extern const AccentPreset gAccentPresets[kAccentPresetCount];

// The preset index to use for a stored accentTheme: out of range gives 0.
int accentPresetIndex(int accentTheme);

// --- densities -------------------------------------------------------------

inline constexpr int kDensityCount = 3;

// Card metrics in 96-dpi units.
struct DensityMetrics {
    float cardHeight;
    float cardGap;
    float vPad;  // a card's inner vertical margin
    float hPad;  // a card's inner horizontal margin
    float scopeWidth;
    float testWidth;
};

// "Suzuki Cappuccino", "GR86", "BMW M5".
extern const char* const kDensityNames[kDensityCount];
extern const DensityMetrics kDensityMetrics[kDensityCount];

// Sets the metrics of density 0, 1 or 2; any other value leaves them as they
// are. Before the first call they are density 1's.
void applyDensity(int density);
const DensityMetrics& densityMetrics();

// --- text formats ----------------------------------------------------------

enum GuiTextFormat : int {
    kFormatLogo = 0,          // "Inter Tight" 13, bold
    kFormatVersion = 1,       // "JetBrains Mono" 9.5
    kFormatCaption = 2,       // "JetBrains Mono" 9: small captions, tick labels
    kFormatStripValue = 3,    // "JetBrains Mono" 12
    kFormatCardTitle = 4,     // "Inter Tight" 14, semibold
    kFormatCardSubtitle = 5,  // "JetBrains Mono" 9.5
    kFormatSliderLabel = 6,   // "Inter Tight" 10, semibold
    kFormatSliderValue = 7,   // "Inter Tight" 17, bold italic
    kFormatUnit = 8,          // "JetBrains Mono" 9
    kFormatSectionTitle = 9,  // "Inter Tight" 12, semibold: panel, section and dialog captions
    kFormatSectionNumber = 10,  // "JetBrains Mono" 10
    kFormatControl = 11,      // "Inter Tight" 11: profile bar, selectors, dialog controls
    kFormatSmall = 12,        // "JetBrains Mono" 9: status bar, TEST labels, small dialog text
    kTextFormatCount = 13,
};

// Creates the formats at the current dpiScale (replacing earlier ones).
void createTextFormats();
// The format, or null when it was not created (or after release).
const TextFormat* guiTextFormat(int index);

// --- brushes and gradients -------------------------------------------------

enum GuiBrush : int {
    kBrushInk = 0,           // 10, 11, 13
    kBrushWindow = 1,        // 16, 18, 22: window background
    kBrushSurface = 2,       // 22, 25, 32
    kBrushRaised = 3,        // 28, 32, 41
    kBrushHover = 4,         // 35, 39, 50
    kBrushLineFaint = 5,     // white 0.04
    kBrushLine = 6,          // white 0.07
    kBrushLineStrong = 7,    // white 0.14
    kBrushLineBright = 8,    // white 0.22
    kBrushText = 9,          // 245, 247, 250: main text
    kBrushText78 = 10,       // dimmer text levels
    kBrushText55 = 11,
    kBrushText38 = 12,
    kBrushText22 = 13,
    kBrushAccent = 14,       // accent base
    kBrushAccentShade1 = 15,
    kBrushAccentShade2 = 16,
    kBrushAccentShade3 = 17,
    kBrushGreen = 18,        // 0, 200, 100
    kBrushText38Alt = 19,    // 245, 247, 250 at 0.38
    kBrushShadow = 20,       // black 0.4
    kBrushCount = 21,
};

enum GuiGradient : int {
    kGradientG0 = 0,  // (28, 32, 41) to (22, 25, 32)
    kGradientG1 = 1,  // (35, 39, 50) to (28, 32, 41)
    kGradientG2 = 2,  // accent at 0.45 to accent at 0
    kGradientG3 = 3,  // accent shade 2 to accent base
    kGradientCount = 4,
};

// Makes brushes 0..13 and 18..20 and gradients G0 and G1, clears the accent
// slots, then applyAccentTheme(accentTheme).
void createBrushes(int accentTheme);
// Re-makes brushes 14..17 and gradients G2 and G3 from the preset
// (out-of-range indices give preset 0).
void applyAccentTheme(int accentTheme);
// The preset the accent brushes were made from.
const AccentPreset& currentAccent();

// The brush (kBrushInk or kBrushText) for labels and marks on the accent
// base: the dark ink on a light accent, the light text on a dark one,
// whichever stands out more from the current accent.
int accentLabelBrush();

// A brush or gradient; an unset brush (draws nothing) when it was not made
// or the index is out of range. Gradients are vertical; fillGradientRect sets
// their points, other users set start and end on a copy.
const Brush& guiBrush(int index);
const Brush& guiGradient(int index);

// Releases every format, brush and gradient of the appearance.
void releaseGuiResources();

// --- drawing helpers -------------------------------------------------------

// Draws UTF-8 text clipped to rect; nothing when the context, format or
// brush is missing or the text is empty.
void drawTextUtf8(DrawContext* context, const TextFormat* format, const char* text, const RectF& rect,
                  const Brush& brush, TextAlignment alignment, ParagraphAlignment paragraph);
void fillRoundedRect(DrawContext* context, const RectF& rect, float radius, const Brush& brush);
void drawRoundedRect(DrawContext* context, const RectF& rect, float radius, const Brush& brush, float strokeWidth);
// Fills the rounded rectangle with the gradient laid from its top to its bottom.
void fillGradientRect(DrawContext* context, const RectF& rect, float radius, const Brush& gradient);

}  // namespace qv
