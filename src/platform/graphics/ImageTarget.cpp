#include "platform/graphics/ImageTarget.h"

#include "platform/graphics/DrawContextNative.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {

namespace {

constexpr int kMaxImageSide = 16384;

cairo_surface_t* surfaceOf(void* p) { return static_cast<cairo_surface_t*>(p); }

uint8_t unpremultiply(uint32_t channel, uint32_t alpha) {
    return alpha == 0 ? 0 : static_cast<uint8_t>((channel * 255 + alpha / 2) / alpha);
}

}  // namespace

std::unique_ptr<ImageTarget> ImageTarget::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return nullptr;
    }
    std::unique_ptr<ImageTarget> target(new ImageTarget());
    target->m_width = width;
    target->m_height = height;
    target->m_surface = surface;
    target->m_context = DrawContextFactory::create(cr);
    return target;
}

ImageTarget::~ImageTarget() {
    m_context.reset();
    if (m_surface)
        cairo_surface_destroy(surfaceOf(m_surface));
}

void ImageTarget::finish() {
    m_context->native().unwind();
    cairo_surface_flush(surfaceOf(m_surface));
}

void ImageTarget::drawOnto(DrawContext& destination, PointF topLeft, float opacity) {
    if (!std::isfinite(topLeft.x) || !std::isfinite(topLeft.y) || !std::isfinite(opacity) || &destination == m_context.get())
        return;
    finish();
    cairo_t* cr = destination.native().cairo;
    const double x = std::round(topLeft.x);
    const double y = std::round(topLeft.y);
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_set_source_surface(cr, surfaceOf(m_surface), x, y);
    cairo_rectangle(cr, x, y, m_width, m_height);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, std::clamp(static_cast<double>(opacity), 0.0, 1.0));
    cairo_restore(cr);
}

void ImageTarget::clearTransparent() {
    m_context->native().unwind();
    cairo_t* cr = m_context->native().cairo;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
}

void ImageTarget::scrollLeft(int columns) {
    if (columns <= 0)
        return;
    finish();
    cairo_surface_t* surface = surfaceOf(m_surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const size_t kept = static_cast<size_t>(std::max(0, m_width - columns)) * 4;
    const size_t freed = static_cast<size_t>(std::min(columns, m_width)) * 4;
    for (int y = 0; y < m_height; ++y) {
        unsigned char* row = data + static_cast<size_t>(y) * stride;
        if (kept > 0)
            std::memmove(row, row + freed, kept);
        std::memset(row + kept, 0, freed);
    }
    cairo_surface_mark_dirty(surface);
}

Rgba8 ImageTarget::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return {};
    cairo_surface_t* surface = surfaceOf(m_surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint32_t value = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    const uint32_t a = value >> 24;
    return Rgba8{unpremultiply((value >> 16) & 0xFF, a), unpremultiply((value >> 8) & 0xFF, a),
                 unpremultiply(value & 0xFF, a), static_cast<uint8_t>(a)};
}

bool ImageTarget::savePng(const std::string& path, std::string* error) {
    finish();
    const cairo_status_t status = cairo_surface_write_to_png(surfaceOf(m_surface), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        if (error)
            *error = "savePng " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace qv
