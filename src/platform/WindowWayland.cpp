// Wayland only: SDL 2.26's Wayland driver needs an input seat and a window
// that draws; both are probed before the layer settles on the driver (the
// fallback to X11 through Xwayland is windowSystemInit's). The renderer's
// GL library is kept loaded. A dialog is made the child of its owner's
// toplevel once both are shown.

#include "platform/WindowInternal.h"

#include "platform/graphics/Graphics.h"
#include "platform/graphics/WindowTarget.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>

namespace qv::window_detail {

// SDL 2.26's Wayland driver needs an input seat: on a compositor without one
// (weston's headless back end) it crashes while starting. The compositor's
// globals are read on a connection of our own first; whether it draws
// window frames (the decoration manager SDL asks for them through) is noted
// on the way.
bool waylandHasSeat(std::string* why) {
    loop().waylandFrames = false;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        *why = "cannot connect to the Wayland compositor";
        return false;
    }
    struct Globals {
        bool seat = false;
        bool frames = false;
    } globals;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            auto* g = static_cast<Globals*>(data);
            if (std::strcmp(interface, "wl_seat") == 0)
                g->seat = true;
            else if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
                g->frames = true;
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    if (registry) {
        wl_registry_add_listener(registry, &listener, &globals);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    loop().waylandFrames = globals.frames;
    if (!globals.seat)
        *why = "the Wayland compositor offers no input seat";
    return globals.seat;
}

// SDL makes a window's xdg toplevel only when the window is shown, and its
// SDL_SetWindowModalFor (xdg_toplevel.set_parent on its xdg-shell path)
// refuses a window without one: so the parent is set after the show. The
// compositor then keeps the dialog or menu over its owner. A shell may have
// sized the parentless toplevel in its first configure (kiosk-shell makes
// every such window fill the output, and leaves the size to the window once
// it has a parent): the window asks for its own size again. An owner that is
// hidden (in the tray) has no toplevel: the window stays one of its own.
void setWaylandParent(WindowState* w, int ownWidth, int ownHeight) {
    WindowState* owner = findWindow(w->owner);
    if (!owner || !(SDL_GetWindowFlags(owner->sdl) & SDL_WINDOW_SHOWN))
        return;
    if (SDL_SetWindowModalFor(w->sdl, owner->sdl) != 0)
        return;
    int width = 0, height = 0;
    SDL_GetWindowSize(w->sdl, &width, &height);
    // SDL takes the shell's full-screen configure for full screen of its own:
    // left first, or SDL would only note the size for later.
    if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN)
        SDL_SetWindowFullscreen(w->sdl, 0);
    if (ownWidth > 0 && ownHeight > 0 && (width != ownWidth || height != ownHeight))
        SDL_SetWindowSize(w->sdl, ownWidth, ownHeight);
}

void adoptWaylandConnection(SDL_Window* sdl) {
    if (!loop().wayland || loop().waylandDisplay)
        return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(sdl, &info) && info.subsystem == SDL_SYSWM_WAYLAND)
        loop().waylandDisplay = info.info.wl.display;
}

// SDL reads a failed connection again on every wait, which returns at once:
// without this check the GUI thread would spin for ever.
bool waylandConnectionFailed() {
    wl_display* display = loop().waylandDisplay;
    if (!gDisplayLost.load() && display && wl_display_get_error(display) != 0)
        gDisplayLost.store(true);
    return gDisplayLost.load();
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
