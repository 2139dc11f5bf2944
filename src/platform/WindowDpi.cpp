// DPI following: drawing pixels per window coordinate (scaled Wayland
// outputs), the DPI of a window and of the desktop (QUORVANE_DPI, the
// Wayland scale, X11's Xft.dpi), and the new DPI told to every window.

#include "platform/WindowInternal.h"

#include "platform/DesktopDpi.h"
#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <cmath>

namespace qv {

using namespace window_detail;

namespace {

int dpiOfRatio(float ratio) {
    return std::clamp(static_cast<int>(std::lround(ratio * kDefaultDpi)), kMinDesktopDpi, kMaxDesktopDpi);
}
int windowDpi(const WindowState* w) {
    if (const int forced = dpiFromEnvironment(); forced != 0)
        return forced;
    if (loop().wayland)
        return dpiOfRatio(w->pixelRatio);
    return desktopDpi();
}

}  // namespace

namespace window_detail {

// Drawing pixels per window coordinate: 1 except on a scaled Wayland output,
// where SDL's window coordinates are the compositor's logical points.
float pixelRatioOf(SDL_Window* window) {
    int points = 0, pixels = 0, h = 0;
    SDL_GetWindowSize(window, &points, &h);
    SDL_GetWindowSizeInPixels(window, &pixels, &h);
    if (points <= 0 || pixels <= 0)
        return 1.0f;
    return std::clamp(static_cast<float>(pixels) / static_cast<float>(points), 0.25f, 8.0f);
}
// A new scale of the window's output (Wayland): its size in pixels has
// already followed, so the owner only lays out again.
void checkPixelRatio(WindowState* w) {
    const float ratio = pixelRatioOf(w->sdl);
    if (std::fabs(ratio - w->pixelRatio) < 0.01f)
        return;
    const int before = windowDpi(w);
    w->pixelRatio = ratio;
    if (const int dpi = windowDpi(w); dpi != before)
        sendWindowMessage(w, kWmDisplayChanged, static_cast<uintptr_t>(dpi), kDpiChangeSizeFollowed);
}
// A desktop announces a new scale by rewriting its resources (X11): every
// window is told the new DPI. QUORVANE_DPI, when set, stays in force.
void checkDesktopDpi() {
    if (!loop().xftDpi.poll() || dpiFromEnvironment() != 0)
        return;
    const int dpi = desktopDpi();
    std::vector<WindowHandle> list;
    for (auto& w : loop().windows)
        if (!w->destroying)
            list.push_back(w->handle);
    for (WindowHandle window : list)
        sendWindowMessage(window, kWmDisplayChanged, static_cast<uintptr_t>(dpi), 0);
}

}  // namespace window_detail

int desktopDpi() {
    if (const int forced = dpiFromEnvironment(); forced != 0)
        return forced;
    if (loop().wayland)
        return dpiOfRatio(loop().waylandScale);
    if (const int xft = loop().xftDpi.xftDpi(); xft != 0)
        return xft;
    return kDefaultDpi;
}
int windowDisplayDpi(WindowHandle window) {
    WindowState* w = findWindow(window);
    return w ? windowDpi(w) : 0;
}

float windowDpiScale(WindowHandle window) {
    (void)window;
    return dpiScale();
}

}  // namespace qv
