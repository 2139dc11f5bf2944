#pragma once
// The drawing target of a window: the painters draw with Cairo into an image
// in memory of the window's size, and presenting copies it onto the window:
// onto the window's SDL surface where the video driver has one (X11), else
// through an SDL renderer and a streaming texture (Wayland; a software
// renderer where there is no GPU). GUI thread only, like the window itself.
//
// Frame pattern of an owner: beginDraw, clear and paint, endDraw, then
// presentWindowTarget. The image keeps the last frame, so an owner that knows
// what changed may draw only that (clipped to those rectangles) and present
// only those rectangles; everything else on the window stays as it was
// presented. When endDraw or presentWindowTarget fails, the target
// is lost (out of memory, the window surface went away): the owner calls
// recreateWindowTarget and draws again on the next paint. When the window's
// size changes, the owner calls resizeWindowTarget with the new size.

#include "platform/graphics/DrawContext.h"

#include <cstdint>
#include <string>

struct SDL_Window;

namespace qv {

struct WindowTarget;

enum class PresentPath : uint8_t {
    Automatic,      // the window surface when the driver gives one, else the renderer
    WindowSurface,  // copy onto the window's SDL surface
    Renderer,       // update a streaming texture and present it with an SDL renderer
};

// A target of the window's size in pixels (a zero width or height becomes 1).
// Null when there is no window, the path cannot be had (Automatic: neither)
// or the image cannot be made; lastGraphicsError() says why.
WindowTarget* createWindowTarget(SDL_Window* window, PresentPath path = PresentPath::Automatic);

// Frees the target and nulls the owner's pointer; nothing when either pointer
// is null.
void destroyWindowTarget(WindowTarget** target);

// Destroys the target and creates a new one for the same window and path; the owner's
// pointer is the new target, or null when that failed.
bool recreateWindowTarget(WindowTarget** target);

// New image size (a zero width or height becomes 1; larger than 16384 a side
// fails); the drawing is lost. False when the target is null or the image
// cannot be made (the target then draws nothing until a resize succeeds).
bool resizeWindowTarget(WindowTarget* target, int width, int height);

int windowTargetWidth(const WindowTarget* target);
int windowTargetHeight(const WindowTarget* target);
// The size in pixels the frame is shown at now (the renderer's output, else
// the window's pixel size); the owner resizes the target to it.
void windowTargetPixelSize(const WindowTarget* target, int* width, int* height);
// The path the target presents through (never Automatic for a target).
PresentPath windowTargetPresentPath(const WindowTarget* target);
// The SDL renderer's name on the renderer path ("opengl", "software", ...);
// empty on the window-surface path.
std::string windowTargetRendererName(const WindowTarget* target);

// The context to draw the frame with; null without a target or image.
DrawContext* beginDraw(WindowTarget* target);
// Ends the frame; false when drawing failed and the target must be recreated.
bool endDraw(WindowTarget* target);
// Shows the frame on the window: only the given rectangles of it (clipped to
// the image; empty ones skipped), or the whole frame when `rects` is null or
// `count` is 0. Whatever the present path, the pixels outside the rectangles
// must stay as last presented. The first present after the window's surface
// was made again (a resize) shows the whole frame anyway. False when the
// window surface is lost.
bool presentWindowTarget(WindowTarget* target, const PixelRect* rects = nullptr, int count = 0);

}  // namespace qv
