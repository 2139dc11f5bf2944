#include "platform/graphics/TextFormat.h"

#include "platform/graphics/GraphicsInternal.h"
#include "platform/graphics/TextFormatNative.h"

#include <algorithm>
#include <cmath>
#include <pango/pangofc-font.h>

namespace qv {

TextFormat::Native::~Native() {
    if (description)
        pango_font_description_free(description);
    if (attributes)
        pango_attr_list_unref(attributes);
}

TextFormat::~TextFormat() = default;

std::unique_ptr<TextFormat> createTextFormat(std::string_view family, float size, int weight, FontStyle style) {
    if (!graphics_internal::fontMap() || family.empty() || !std::isfinite(size) || size <= 0.0f)
        return nullptr;
    std::unique_ptr<TextFormat> format(new TextFormat());
    format->m_family = std::string(family);
    format->m_size = size;
    format->m_weight = std::clamp(weight, 100, 1000);
    format->m_style = style;
    format->m_native = std::make_unique<TextFormat::Native>();
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, format->m_family.c_str());
    pango_font_description_set_absolute_size(description, static_cast<double>(size) * PANGO_SCALE);
    pango_font_description_set_weight(description, static_cast<PangoWeight>(format->m_weight));
    pango_font_description_set_style(description, style == FontStyle::Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_stretch(description, PANGO_STRETCH_NORMAL);
    format->m_native->description = description;
    return format;
}

std::unique_ptr<TextFormat> createGridTextFormat(std::string_view family, float size, int weight) {
    std::unique_ptr<TextFormat> format = createTextFormat(family, size, weight, FontStyle::Normal);
    if (!format)
        return nullptr;
    format->m_native->attributes = pango_attr_list_new();
    pango_attr_list_insert(format->m_native->attributes, pango_attr_font_features_new("liga 0, calt 0"));
    format->m_native->exactPositions = true;
    return format;
}

std::string resolvedFontFile(const TextFormat& format) {
    PangoContext* context = graphics_internal::measureContext();
    if (!context)
        return {};
    PangoFont* font = pango_font_map_load_font(graphics_internal::fontMap(), context, format.native().description);
    if (!font)
        return {};
    std::string file;
    if (PANGO_IS_FC_FONT(font)) {
        FcPattern* pattern = pango_fc_font_get_pattern(PANGO_FC_FONT(font));
        FcChar8* path = nullptr;
        if (pattern && FcPatternGetString(pattern, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
    }
    g_object_unref(font);
    return file;
}

}  // namespace qv
