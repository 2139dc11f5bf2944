#include "platform/graphics/WindowTarget.h"

#include "platform/graphics/DrawContextNative.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/GraphicsInternal.h"

#include <SDL.h>
#include <algorithm>
#include <string>

namespace qv {

namespace {
constexpr int kMaxTargetSide = 16384;
}

struct WindowTarget {
    SDL_Window* window = nullptr;
    PresentPath path = PresentPath::WindowSurface;
    cairo_surface_t* surface = nullptr;  // the frame, 32-bit with the alpha ignored
    SDL_Surface* view = nullptr;         // the same pixels as an SDL surface, for the copy
    SDL_Renderer* renderer = nullptr;    // the renderer path: the frame goes through a streaming texture
    SDL_Texture* texture = nullptr;
    bool textureWhole = false;           // the texture holds a whole frame (else the next update is whole)
    std::unique_ptr<DrawContext> context;
    int width = 0;
    int height = 0;
    // The window surface the last present went to; another one (SDL makes it
    // again after a resize) has none of the frame yet.
    SDL_Surface* presentedTo = nullptr;
    int presentedWidth = 0;
    int presentedHeight = 0;
};

namespace {

void setSdlError(const char* call) { graphics_internal::setLastError((std::string(call) + ": " + SDL_GetError()).c_str()); }

void releaseImage(WindowTarget& t) {
    t.context.reset();
    if (t.texture) {
        SDL_DestroyTexture(t.texture);
        t.texture = nullptr;
    }
    t.textureWhole = false;
    t.presentedTo = nullptr;
    if (t.view) {
        SDL_FreeSurface(t.view);
        t.view = nullptr;
    }
    if (t.surface) {
        cairo_surface_destroy(t.surface);
        t.surface = nullptr;
    }
    t.width = 0;
    t.height = 0;
}

bool createImage(WindowTarget& t, int width, int height) {
    releaseImage(t);
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width > kMaxTargetSide || height > kMaxTargetSide) {
        graphics_internal::setLastError("window target: window larger than 16384 pixels a side");
        return false;
    }
    t.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(t.surface) != CAIRO_STATUS_SUCCESS) {
        graphics_internal::setLastError("window target: cannot allocate the frame image");
        releaseImage(t);
        return false;
    }
    if (t.renderer) {
        // Cairo's RGB24 is SDL's RGB888: 32-bit words with the top byte unused.
        t.texture = SDL_CreateTexture(t.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!t.texture) {
            setSdlError("SDL_CreateTexture");
            releaseImage(t);
            return false;
        }
    } else {
        t.view = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(t.surface), width, height, 32,
                                                    cairo_image_surface_get_stride(t.surface), SDL_PIXELFORMAT_RGB888);
        if (!t.view) {
            setSdlError("SDL_CreateRGBSurfaceWithFormatFrom");
            releaseImage(t);
            return false;
        }
        SDL_SetSurfaceBlendMode(t.view, SDL_BLENDMODE_NONE);
    }
    t.context = DrawContextFactory::create(cairo_create(t.surface));
    t.width = width;
    t.height = height;
    return true;
}

}  // namespace

namespace {

// The renderer path: a hardware renderer when there is one, else whatever
// SDL has (a software rasteriser behind the same interface).
bool createRenderer(WindowTarget& t) {
    t.renderer = SDL_CreateRenderer(t.window, -1, 0);
    if (!t.renderer)
        t.renderer = SDL_CreateRenderer(t.window, -1, SDL_RENDERER_SOFTWARE);
    if (!t.renderer) {
        setSdlError("SDL_CreateRenderer");
        return false;
    }
    return true;
}

void freeTarget(WindowTarget* t) {
    releaseImage(*t);
    if (t->renderer)
        SDL_DestroyRenderer(t->renderer);
    delete t;
}

// The pixel size of what is presented: the renderer's output where there is
// one (it can differ from the window's size on a scaled output).
void targetSize(const WindowTarget& t, int* width, int* height) {
    *width = 0;
    *height = 0;
    if (t.renderer && SDL_GetRendererOutputSize(t.renderer, width, height) == 0 && *width > 0 && *height > 0)
        return;
    SDL_GetWindowSizeInPixels(t.window, width, height);
}

}  // namespace

WindowTarget* createWindowTarget(SDL_Window* window, PresentPath path) {
    if (!window) {
        graphics_internal::setLastError("createWindowTarget: no window");
        return nullptr;
    }
    auto* target = new WindowTarget();
    target->window = window;
    // The window surface is the cheaper copy; drivers without one (Wayland)
    // get the renderer.
    bool ready = false;
    if (path != PresentPath::Renderer) {
        ready = SDL_GetWindowSurface(window) != nullptr;
        if (!ready && path == PresentPath::WindowSurface)
            setSdlError("SDL_GetWindowSurface");
    }
    if (ready) {
        target->path = PresentPath::WindowSurface;
    } else if (path != PresentPath::WindowSurface) {
        const std::string surfaceError = path == PresentPath::Automatic ? SDL_GetError() : "";
        ready = createRenderer(*target);
        if (!ready && !surfaceError.empty())
            graphics_internal::setLastError(
                ("no window surface (" + surfaceError + ") and " + lastGraphicsError()).c_str());
        target->path = PresentPath::Renderer;
    }
    int width = 0, height = 0;
    if (ready)
        targetSize(*target, &width, &height);
    if (!ready || !createImage(*target, width, height)) {
        freeTarget(target);
        return nullptr;
    }
    return target;
}

void destroyWindowTarget(WindowTarget** target) {
    if (!target || !*target)
        return;
    freeTarget(*target);
    *target = nullptr;
}

bool recreateWindowTarget(WindowTarget** target) {
    if (!target || !*target)
        return false;
    SDL_Window* window = (*target)->window;
    const PresentPath path = (*target)->path;
    destroyWindowTarget(target);
    *target = createWindowTarget(window, path);
    return *target != nullptr;
}

bool resizeWindowTarget(WindowTarget* target, int width, int height) {
    return target && createImage(*target, width, height);
}

int windowTargetWidth(const WindowTarget* target) { return target ? target->width : 0; }
int windowTargetHeight(const WindowTarget* target) { return target ? target->height : 0; }

void windowTargetPixelSize(const WindowTarget* target, int* width, int* height) {
    if (!target) {
        *width = 0;
        *height = 0;
        return;
    }
    targetSize(*target, width, height);
}

PresentPath windowTargetPresentPath(const WindowTarget* target) {
    return target ? target->path : PresentPath::Automatic;
}

std::string windowTargetRendererName(const WindowTarget* target) {
    SDL_RendererInfo info{};
    if (!target || !target->renderer || SDL_GetRendererInfo(target->renderer, &info) != 0 || !info.name)
        return {};
    return info.name;
}

DrawContext* beginDraw(WindowTarget* target) {
    if (!target || !target->context)
        return nullptr;
    target->context->native().unwind();
    return target->context.get();
}

bool endDraw(WindowTarget* target) {
    if (!target || !target->context)
        return false;
    target->context->native().unwind();
    cairo_surface_flush(target->surface);
    return target->context->isHealthy();
}

namespace {

// The rectangle limited to the frame; empty when nothing of it is inside.
SDL_Rect clippedRect(const PixelRect& r, int width, int height) {
    const int left = std::max(r.x, 0), top = std::max(r.y, 0);
    const int right = std::min(r.width > 0 ? r.x + r.width : r.x, width);
    const int bottom = std::min(r.height > 0 ? r.y + r.height : r.y, height);
    return SDL_Rect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

}  // namespace

namespace {

// The renderer path: the changed rectangles (or the whole frame) go into the
// streaming texture, which is then drawn whole, so every pixel outside them
// stays as last presented.
bool presentThroughRenderer(WindowTarget& t, const PixelRect* rects, int count) {
    if (rects && count > 0 && t.textureWhole) {
        // Only empty rectangles: nothing changed, nothing to show again.
        bool any = false;
        for (int i = 0; i < count && !any; ++i) {
            const SDL_Rect r = clippedRect(rects[i], t.width, t.height);
            any = r.w > 0 && r.h > 0;
        }
        if (!any)
            return true;
    }
    const auto* pixels = cairo_image_surface_get_data(t.surface);
    const int stride = cairo_image_surface_get_stride(t.surface);
    int result = 0;
    if (!rects || count <= 0 || !t.textureWhole) {
        result = SDL_UpdateTexture(t.texture, nullptr, pixels, stride);
    } else {
        for (int i = 0; i < count && result == 0; ++i) {
            const SDL_Rect r = clippedRect(rects[i], t.width, t.height);
            if (r.w > 0 && r.h > 0)
                result = SDL_UpdateTexture(t.texture, &r, pixels + static_cast<size_t>(r.y) * stride + r.x * 4, stride);
        }
    }
    if (result == 0)
        result = SDL_RenderCopy(t.renderer, t.texture, nullptr, nullptr);
    if (result != 0) {
        t.textureWhole = false;
        setSdlError("SDL_UpdateTexture");
        return false;
    }
    t.textureWhole = true;
    SDL_RenderPresent(t.renderer);
    return true;
}

}  // namespace

bool presentWindowTarget(WindowTarget* target, const PixelRect* rects, int count) {
    if (target && target->renderer && target->texture && target->surface)
        return presentThroughRenderer(*target, rects, count);
    if (!target || !target->view)
        return false;
    SDL_Surface* windowSurface = SDL_GetWindowSurface(target->window);
    if (!windowSurface) {
        graphics_internal::setLastError((std::string("SDL_GetWindowSurface: ") + SDL_GetError()).c_str());
        return false;
    }
    const bool sameSurface = windowSurface == target->presentedTo && windowSurface->w == target->presentedWidth &&
                             windowSurface->h == target->presentedHeight;
    int result = 0;
    if (!rects || count <= 0 || !sameSurface) {
        result = SDL_BlitSurface(target->view, nullptr, windowSurface, nullptr);
        if (result == 0)
            result = SDL_UpdateWindowSurface(target->window);
    } else {
        constexpr int kBatch = 64;
        SDL_Rect batch[kBatch];
        int n = 0;
        for (int i = 0; i < count && result == 0; ++i) {
            SDL_Rect r = clippedRect(rects[i], target->width, target->height);
            if (r.w <= 0 || r.h <= 0)
                continue;
            SDL_Rect destination = r;
            result = SDL_BlitSurface(target->view, &r, windowSurface, &destination);
            batch[n++] = r;
            if (n == kBatch && result == 0) {
                result = SDL_UpdateWindowSurfaceRects(target->window, batch, n);
                n = 0;
            }
        }
        if (n > 0 && result == 0)
            result = SDL_UpdateWindowSurfaceRects(target->window, batch, n);
    }
    if (result != 0) {
        target->presentedTo = nullptr;
        graphics_internal::setLastError((std::string("SDL_UpdateWindowSurface: ") + SDL_GetError()).c_str());
        return false;
    }
    target->presentedTo = windowSurface;
    target->presentedWidth = windowSurface->w;
    target->presentedHeight = windowSurface->h;
    return true;
}

}  // namespace qv
