#pragma once
// The process-wide part of the drawing layer: the private font set loaded
// from the "fonts" folder beside the executable, and the DPI the interface is
// laid out for. Everything here except the DPI functions is called on the GUI
// thread only.
//
// Windows are drawn with Cairo into image surfaces (WindowTarget.h, and
// ImageTarget.h offscreen); text is laid out with Pango on a fontconfig set
// that holds the system fonts plus the private ones, so a family missing from
// the folder falls back to a system font.

#include <string>
#include <vector>

namespace qv {

inline constexpr int kDefaultDpi = 96;

struct GraphicsConfig {
    // Folder of the private fonts; empty means executableFolder() + "fonts/".
    std::string fontsFolder;
    // Non-zero: lay out for this DPI (tests, tools). The window layer sets
    // the desktop's DPI (Window.h, desktopDpi).
    int dpiOverride = 0;
};

// Creates what does not exist yet: the font set (reading the font files once)
// and the text layout objects. Then takes the DPI from the override; without
// one the DPI is left as it is (96 at load). May be called again.
// Returns false when the text layout objects could not be made (no text can
// be drawn); lastGraphicsError() says why.
bool graphicsInit(const GraphicsConfig& config = {});

// Releases the font set and the text layout objects. Text formats and draw
// contexts must be gone by then.
void graphicsShutdown();

bool graphicsReady();
std::string lastGraphicsError();

// Files of the private font set (full paths), in the order they were added;
// empty when the folder was missing or held none.
const std::vector<std::string>& privateFontFiles();

// The font files of a folder and its sub-folders: names ending in ".ttf" or
// ".otf" (any case); entries whose name begins with '.' are skipped; linked
// folders are followed, but never into a folder already visited. Sorted by
// path within each folder. A missing folder gives an empty list.
std::vector<std::string> collectFontFiles(const std::string& folder);

// The DPI the interface is laid out for. Written by the GUI thread, read by
// every layout computation; atomic.
int currentDpi();
// Stores a DPI between 24 and 1920; 0 and other values outside are ignored.
void setDpi(int dpi);
// currentDpi() / 96: every layout constant of the interface, given in 96-dpi
// units, is multiplied by it.
float dpiScale();

}  // namespace qv
