// Wayland only: SDL 2.26's Wayland driver needs an input seat and a window
// that draws; both are probed before the layer settles on the driver (the
// fallback to X11 through Xwayland is windowSystemInit's). The renderer's
// GL library is kept loaded. A dialog is made the child of its owner's
// toplevel once both are shown.

#include "platform/WindowInternal.h"

#include "platform/graphics/Graphics.h"
#include "platform/graphics/WindowTarget.h"

#include <wayland-client.h>

#include <cstring>

namespace qv::window_detail {

// SDL 2.26's Wayland driver needs an input seat: on a compositor without one
// (weston's headless back end) it crashes while starting. The compositor's
// globals are read on a connection of our own first.
bool waylandHasSeat(std::string* why) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        *why = "cannot connect to the Wayland compositor";
        return false;
    }
    bool seat = false;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "wl_seat") == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    if (registry) {
        wl_registry_add_listener(registry, &listener, &seat);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    if (!seat)
        *why = "the Wayland compositor offers no input seat";
    return seat;
}

// SDL makes a window's xdg toplevel only when the window is shown, and its
// SDL_SetWindowModalFor (xdg_toplevel.set_parent on its xdg-shell path)
// refuses a window without one: so the parent is set after the show. The
// compositor then keeps the dialog over its owner and places it there
// (weston's desktop-shell centres it on the owner, kiosk-shell shows it at
// its own size instead of over the whole output). An owner that is hidden
// (in the tray) has no toplevel: the dialog stays a window of its own.
void setWaylandParent(WindowState* w) {
    WindowState* owner = findWindow(w->owner);
    if (!owner || !(SDL_GetWindowFlags(owner->sdl) & SDL_WINDOW_SHOWN))
        return;
    SDL_SetWindowModalFor(w->sdl, owner->sdl);
}

// The renderer's GL library stays loaded to the end of the process, like
// the video subsystem: the GL drivers free part of their memory only while
// loaded (and SDL would unload them with the last window).
void keepGlLoaded() {
    static bool kept = false;
    if (!kept)
        kept = SDL_GL_LoadLibrary(nullptr) == 0;
}

// Whether a window of this driver can be drawn: its surface, else a
// renderer. The pixel ratio of a new window is the outputs' scale.
bool probeWaylandWindow(std::string* why) {
    SDL_Window* probe = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                         SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_BORDERLESS);
    if (!probe) {
        *why = std::string("SDL_CreateWindow: ") + SDL_GetError();
        return false;
    }
    WindowTarget* target = createWindowTarget(probe);
    const bool ok = target != nullptr;
    if (ok)
        loop().waylandScale = pixelRatioOf(probe);
    else
        *why = "no window surface and no renderer: " + lastGraphicsError();
    destroyWindowTarget(&target);
    SDL_DestroyWindow(probe);
    return ok;
}

}  // namespace qv::window_detail
