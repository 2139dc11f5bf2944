#include "platform/graphics/Graphics.h"

#include "platform/Folders.h"
#include "platform/ThreadSanitizerSuppressions.h"
#include "platform/graphics/GraphicsInternal.h"

#include <atomic>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps parts of every configuration it parsed and of the fonts it
// scanned past their release (even its own default configuration); nothing
// of ours is in those blocks, so the leak checker is told to skip them. The
// same holds for SDL's per-thread records of a GUI thread that ended and for
// the session-bus library SDL uses on X11.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libSDL2-2.0.so\nleak:libdbus-1.so\n";
}
#endif
// ThreadSanitizer: see platform/ThreadSanitizerSuppressions.h (included above).

namespace qv {

namespace {

constexpr int kMinDpi = 24;
constexpr int kMaxDpi = 1920;

std::atomic<int32_t> gDpi{kDefaultDpi};

// GUI thread only.
struct GraphicsState {
    PangoFontMap* fontMap = nullptr;
    PangoContext* measureContext = nullptr;
    std::vector<std::string> fontFiles;
    std::string lastError;
};

GraphicsState& state() {
    static GraphicsState s;
    return s;
}

void setLayoutFontOptions(PangoContext* context) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    // Unhinted metrics keep text positions independent of the pixel grid, so
    // a layout measures the same wherever it is drawn.
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
}

// Builds the font map: the system fonts plus the private files. Without
// private files the map uses the default fontconfig set.
bool createFontMap(const std::string& folder) {
    GraphicsState& s = state();
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!map || !PANGO_IS_FC_FONT_MAP(map)) {
        if (map)
            g_object_unref(map);
        s.lastError = "graphicsInit: no fontconfig font map (Pango without FreeType support)";
        return false;
    }
    s.fontFiles.clear();
    const std::vector<std::string> files = collectFontFiles(folder);
    if (!files.empty()) {
        FcConfig* config = FcInitLoadConfigAndFonts();
        if (config) {
            for (const std::string& file : files) {
                if (FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file.c_str())))
                    s.fontFiles.push_back(file);
            }
            if (!s.fontFiles.empty())
                pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
            FcConfigDestroy(config);  // the font map holds its own reference
        }
    }
    s.fontMap = map;
    s.measureContext = pango_font_map_create_context(map);
    setLayoutFontOptions(s.measureContext);
    return true;
}

}  // namespace

namespace graphics_internal {

PangoFontMap* fontMap() { return state().fontMap; }
PangoContext* measureContext() { return state().measureContext; }
void setLastError(const char* text) { state().lastError = text; }

}  // namespace graphics_internal

bool graphicsInit(const GraphicsConfig& config) {
    GraphicsState& s = state();
    bool ok = true;
    if (!s.fontMap)
        ok = createFontMap(config.fontsFolder.empty() ? executableFolder() + "fonts/" : config.fontsFolder);
    if (config.dpiOverride != 0)
        setDpi(config.dpiOverride);
    return ok;
}

void graphicsShutdown() {
    GraphicsState& s = state();
    if (s.measureContext) {
        g_object_unref(s.measureContext);
        s.measureContext = nullptr;
    }
    if (s.fontMap) {
        g_object_unref(s.fontMap);
        s.fontMap = nullptr;
    }
    s.fontFiles.clear();
}

bool graphicsReady() { return state().fontMap != nullptr; }

std::string lastGraphicsError() { return state().lastError; }

const std::vector<std::string>& privateFontFiles() { return state().fontFiles; }

int currentDpi() { return gDpi.load(std::memory_order_relaxed); }

void setDpi(int dpi) {
    if (dpi >= kMinDpi && dpi <= kMaxDpi)
        gDpi.exchange(dpi, std::memory_order_relaxed);
}

float dpiScale() { return static_cast<float>(currentDpi()) / static_cast<float>(kDefaultDpi); }

}  // namespace qv
