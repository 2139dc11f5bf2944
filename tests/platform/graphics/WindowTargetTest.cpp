#include "platform/graphics/WindowTarget.h"
#include "support/GraphicsFixture.h"

#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>

namespace qv {
namespace {

// Window targets on SDL's dummy video driver, which keeps window surfaces in
// memory and needs no display.
class WindowTargetTest : public test::GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("test", 0, 0, 64, 48, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        ASSERT_NE(window, nullptr) << SDL_GetError();
    }
    void TearDown() override {
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        GraphicsFixture::TearDown();
    }

    // The window surface's pixel as RGB.
    Rgba8 windowPixel(int x, int y) {
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        Rgba8 p{};
        if (!surface || x >= surface->w || y >= surface->h)
            return p;
        SDL_LockSurface(surface);
        Uint32 value = 0;
        std::memcpy(&value, static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch +
                                x * surface->format->BytesPerPixel,
                    surface->format->BytesPerPixel);
        SDL_UnlockSurface(surface);
        SDL_GetRGBA(value, surface->format, &p.r, &p.g, &p.b, &p.a);
        return p;
    }

    // Resizes the window and target to 80x60 and presents a green frame
    // through rects; a frame just after a resize goes out whole, so a pixel
    // outside every rect shows it.
    void expectWholeFrameAfterResize(WindowTarget* target, const PixelRect* rects, int count) {
        SDL_SetWindowSize(window, 80, 60);
        ASSERT_TRUE(resizeWindowTarget(target, 80, 60));
        DrawContext* context = beginDraw(target);
        ASSERT_NE(context, nullptr);
        context->clear(rgb(0, 255, 0));
        ASSERT_TRUE(endDraw(target));
        ASSERT_TRUE(presentWindowTarget(target, rects, count));
        EXPECT_TRUE(test::colorNear(windowPixel(70, 50), {0, 255, 0, 255}, 0));
    }

    SDL_Window* window = nullptr;
};

TEST_F(WindowTargetTest, AFrameDrawnIsPresentedOnTheWindow) {
    WindowTarget* target = createWindowTarget(window);
    ASSERT_NE(target, nullptr) << lastGraphicsError();
    EXPECT_EQ(windowTargetWidth(target), 64);
    EXPECT_EQ(windowTargetHeight(target), 48);
    DrawContext* context = beginDraw(target);
    ASSERT_NE(context, nullptr);
    context->clear(rgb(16, 18, 22));
    context->fillRect(RectF{32, 0, 64, 48}, solidBrush(rgb(255, 74, 74)));
    ASSERT_TRUE(endDraw(target));
    ASSERT_TRUE(presentWindowTarget(target)) << lastGraphicsError();
    EXPECT_TRUE(test::colorNear(windowPixel(5, 5), {16, 18, 22, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(50, 40), {255, 74, 74, 255}, 0));
    destroyWindowTarget(&target);
    EXPECT_EQ(target, nullptr);
}

TEST_F(WindowTargetTest, ResizingToZeroGivesAOnePixelTarget) {
    WindowTarget* target = createWindowTarget(window);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(resizeWindowTarget(target, 0, 0));
    EXPECT_EQ(windowTargetWidth(target), 1);
    EXPECT_EQ(windowTargetHeight(target), 1);
    ASSERT_NE(beginDraw(target), nullptr);
    EXPECT_TRUE(endDraw(target));
    EXPECT_TRUE(presentWindowTarget(target));
    EXPECT_FALSE(resizeWindowTarget(target, 100000, 10));
    EXPECT_EQ(beginDraw(target), nullptr);  // no image until a resize succeeds
    EXPECT_FALSE(endDraw(target));
    EXPECT_FALSE(presentWindowTarget(target));
    ASSERT_TRUE(resizeWindowTarget(target, 80, 60));
    EXPECT_NE(beginDraw(target), nullptr);
    destroyWindowTarget(&target);
}

TEST_F(WindowTargetTest, AResizedWindowIsPresentedAtItsNewSize) {
    WindowTarget* target = createWindowTarget(window);
    ASSERT_NE(target, nullptr);
    SDL_SetWindowSize(window, 120, 90);
    ASSERT_TRUE(resizeWindowTarget(target, 120, 90));
    DrawContext* context = beginDraw(target);
    ASSERT_NE(context, nullptr);
    context->clear(rgb(0, 66, 37));
    ASSERT_TRUE(endDraw(target));
    ASSERT_TRUE(presentWindowTarget(target)) << lastGraphicsError();
    EXPECT_TRUE(test::colorNear(windowPixel(110, 80), {0, 66, 37, 255}, 0));
    destroyWindowTarget(&target);
}

TEST_F(WindowTargetTest, OnlyTheGivenRectanglesOfAFrameArePresented) {
    WindowTarget* target = createWindowTarget(window);
    ASSERT_NE(target, nullptr);
    DrawContext* context = beginDraw(target);
    ASSERT_NE(context, nullptr);
    context->clear(rgb(10, 20, 30));
    ASSERT_TRUE(endDraw(target));
    ASSERT_TRUE(presentWindowTarget(target));

    // The next frame changes everything, but only two rectangles (one of
    // them reaching outside the image) are presented.
    context = beginDraw(target);
    context->clear(rgb(200, 100, 50));
    ASSERT_TRUE(endDraw(target));
    const PixelRect rects[] = {{2, 3, 4, 5}, {60, 40, 30, 30}, {0, 0, 0, 0}};
    ASSERT_TRUE(presentWindowTarget(target, rects, 3)) << lastGraphicsError();
    EXPECT_TRUE(test::colorNear(windowPixel(2, 3), {200, 100, 50, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(5, 7), {200, 100, 50, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(63, 47), {200, 100, 50, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(6, 3), {10, 20, 30, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(2, 8), {10, 20, 30, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(59, 47), {10, 20, 30, 255}, 0));

    // After a resize the window's surface is new: the whole frame goes out.
    ASSERT_NO_FATAL_FAILURE(expectWholeFrameAfterResize(target, rects, 1));
    destroyWindowTarget(&target);
}

// The path of drivers without a window surface (Wayland): an SDL renderer
// (here SDL's software one, which draws onto the window's surface) and a
// streaming texture that takes the same rectangles.
TEST_F(WindowTargetTest, TheRendererPathPresentsTheGivenRectanglesAndKeepsTheRest) {
    WindowTarget* target = createWindowTarget(window, PresentPath::Renderer);
    ASSERT_NE(target, nullptr) << lastGraphicsError();
    EXPECT_EQ(windowTargetPresentPath(target), PresentPath::Renderer);
    EXPECT_FALSE(windowTargetRendererName(target).empty());
    DrawContext* context = beginDraw(target);
    ASSERT_NE(context, nullptr);
    context->clear(rgb(10, 20, 30));
    ASSERT_TRUE(endDraw(target));
    ASSERT_TRUE(presentWindowTarget(target)) << lastGraphicsError();
    EXPECT_TRUE(test::colorNear(windowPixel(40, 30), {10, 20, 30, 255}, 0));

    context = beginDraw(target);
    context->clear(rgb(200, 100, 50));
    ASSERT_TRUE(endDraw(target));
    const PixelRect rects[] = {{2, 3, 4, 5}, {60, 40, 30, 30}};
    ASSERT_TRUE(presentWindowTarget(target, rects, 2)) << lastGraphicsError();
    EXPECT_TRUE(test::colorNear(windowPixel(5, 7), {200, 100, 50, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(63, 47), {200, 100, 50, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(6, 3), {10, 20, 30, 255}, 0));
    EXPECT_TRUE(test::colorNear(windowPixel(59, 47), {10, 20, 30, 255}, 0));

    // A new texture (after a resize) holds nothing yet: the whole frame goes in.
    ASSERT_NO_FATAL_FAILURE(expectWholeFrameAfterResize(target, rects, 1));
    EXPECT_TRUE(recreateWindowTarget(&target));
    EXPECT_EQ(windowTargetPresentPath(target), PresentPath::Renderer);
    destroyWindowTarget(&target);
}

TEST_F(WindowTargetTest, ALostTargetIsRebuiltForTheSameWindow) {
    WindowTarget* target = createWindowTarget(window);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(recreateWindowTarget(&target));
    ASSERT_NE(target, nullptr);
    DrawContext* context = beginDraw(target);
    ASSERT_NE(context, nullptr);
    context->clear(rgb(30, 77, 140));
    ASSERT_TRUE(endDraw(target));
    ASSERT_TRUE(presentWindowTarget(target));
    EXPECT_TRUE(test::colorNear(windowPixel(1, 1), {30, 77, 140, 255}, 0));
    destroyWindowTarget(&target);
}

TEST_F(WindowTargetTest, NullWindowsAndTargetsAreRefused) {
    EXPECT_EQ(createWindowTarget(nullptr), nullptr);
    EXPECT_EQ(lastGraphicsError(), "createWindowTarget: no window");
    WindowTarget* none = nullptr;
    destroyWindowTarget(&none);
    destroyWindowTarget(nullptr);
    EXPECT_FALSE(recreateWindowTarget(&none));
    EXPECT_FALSE(resizeWindowTarget(nullptr, 10, 10));
    EXPECT_EQ(beginDraw(nullptr), nullptr);
    EXPECT_FALSE(endDraw(nullptr));
    EXPECT_FALSE(presentWindowTarget(nullptr));
}

}  // namespace
}  // namespace qv
