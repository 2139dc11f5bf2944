#pragma once
// The program's logo: the words "QUOR" and "VANE" as the header shows them,
// and the same mark as a square icon for the tray and the window. GUI thread
// only, after graphicsInit (text) and the appearance's createTextFormats and
// createBrushes.

#include "platform/Tray.h"
#include "platform/graphics/DrawContext.h"

namespace qv {

// Where the header puts the logo, in 96-dpi units (times dpiScale).
inline constexpr RectF kLogoBox{18, 13, 142, 28};

// Draws "QUOR " in the main text colour and "VANE" in the accent, both in the
// logo format, the first word at the box's left edge and the second at 52/124
// of its width (at the header's box that is x = 70). Text that does not fit
// the box is clipped. Draws nothing before the appearance is made.
void paintLogo(DrawContext& context, const RectF& box);

// The logo as a square icon of size x size pixels (1..256): a rounded tile in
// the window colour with "QUOR" above "VANE" (the accent), each word fitted to
// the tile. Straight ARGB, as the tray and the window icon take it. An empty
// image (size 0) for a size out of range or before the appearance is made.
TrayIconImage renderLogoIcon(int size);

}  // namespace qv
