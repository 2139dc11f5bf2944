#include "platform/graphics/Bitmap.h"

#include "platform/graphics/BitmapNative.h"

namespace qv {

Bitmap::Native::~Native() {
    if (surface)
        cairo_surface_destroy(surface);
}

Bitmap::~Bitmap() = default;

std::unique_ptr<Bitmap> loadBitmapFile(const std::string& path, std::string* error) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    const cairo_status_t status = cairo_surface_status(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        if (error) {
            const char* cause = status == CAIRO_STATUS_FILE_NOT_FOUND ? "file not found"
                                : status == CAIRO_STATUS_READ_ERROR   ? "not a readable PNG image"
                                                                      : cairo_status_to_string(status);
            *error = "loadBitmapFile " + path + ": " + cause;
        }
        cairo_surface_destroy(surface);
        return nullptr;
    }
    std::unique_ptr<Bitmap> bitmap(new Bitmap());
    bitmap->m_width = cairo_image_surface_get_width(surface);
    bitmap->m_height = cairo_image_surface_get_height(surface);
    bitmap->m_native = std::make_unique<Bitmap::Native>();
    bitmap->m_native->surface = surface;
    return bitmap;
}

}  // namespace qv
