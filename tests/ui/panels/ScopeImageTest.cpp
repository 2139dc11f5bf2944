// The kept scope image against the whole curve stroked at once: a scope
// advanced sample by sample over many frames (through the history's wrap, a
// change of size, of DPI and of the accent, and samples that do not follow
// on) must show what a whole stroke of the same samples shows, up to the
// sub-pixel offset the kept curve carries.

#include "ui/panels/ScopeImage.h"

#include "support/GraphicsFixture.h"
#include "ui/Appearance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv::test {
namespace {

constexpr uint32_t kHistory = 128;
constexpr int kFrameWidth = 420;
constexpr int kFrameHeight = 200;
constexpr Color kBoxColour{0.16f, 0.17f, 0.2f, 1.0f};

// A meter history as the cards keep it: a ring of 128 with the next slot.
struct History {
    float values[kHistory] = {};
    uint32_t writeIndex = 0;
    uint32_t count = 0;

    // A lively signal: a wave with spikes and dips, and stretches that jump
    // between silence and full level at every sample (the sharpest joins).
    void push() {
        const uint32_t n = count++;
        float v = 0.5f + 0.45f * std::sin(static_cast<float>(n) * 0.37f);
        if (n % 17 == 0)
            v += 0.5f;
        if (n % 23 == 0)
            v -= 0.6f;
        if ((n / 40) % 3 == 2)
            v = (n % 2) ? 1.0f : 0.0f;
        values[writeIndex] = std::clamp(v, 0.0f, 1.0f);
        writeIndex = (writeIndex + 1) & (kHistory - 1);
    }
    void newest(float (&out)[kScopePoints]) const {
        for (int j = 0; j < kScopePoints; ++j)
            out[j] = values[(writeIndex - kScopePoints + j) & (kHistory - 1)];
    }
};

// Largest channel difference of the two frames inside r, leaving out the
// pixels r's edges cut through (Cairo antialiases a curve cut by a clip
// differently from an image cut by it) and `skipColumns` - 1 more at r's
// left and right.
struct Difference {
    int most = 0;
    int x = 0;
    int y = 0;
};

Difference compare(const ImageTarget& a, const ImageTarget& b, const RectF& r, int skipColumns) {
    Difference d;
    const int x0 = static_cast<int>(std::floor(r.left)) + skipColumns;
    const int x1 = static_cast<int>(std::ceil(r.right)) - skipColumns;
    const int y0 = static_cast<int>(std::floor(r.top)) + 1;
    const int y1 = static_cast<int>(std::ceil(r.bottom)) - 1;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Rgba8 pa = a.pixel(x, y), pb = b.pixel(x, y);
            const int most = std::max({std::abs(pa.r - pb.r), std::abs(pa.g - pb.g), std::abs(pa.b - pb.b)});
            if (most > d.most)
                d = Difference{most, x, y};
        }
    }
    return d;
}

class ScopeImageTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        applyDensity(1);
        createTextFormats();
        createBrushes(0);
        kept = image(kFrameWidth, kFrameHeight);
        whole = image(kFrameWidth, kFrameHeight);
    }
    void TearDown() override {
        kept.reset();
        whole.reset();
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }

    // One frame of the kept scope over the card's box colour.
    void paintKept(const RectF& r, float s, float opacity = 1.0f) {
        float samples[kScopePoints];
        history.newest(samples);
        kept->context().clear(kBoxColour);
        scope.paint(kept->context(), r, samples, history.writeIndex, kHistory, s, opacity);
        kept->finish();
    }

    // The same samples stroked whole, `shift` pixels to the right, clipped to r.
    void paintWhole(const RectF& r, float s, float shift = 0.0f, float opacity = 1.0f) {
        float samples[kScopePoints];
        history.newest(samples);
        DrawContext& context = whole->context();
        context.clear(kBoxColour);
        context.pushClip(r);
        context.pushLayer(opacity);
        paintScopeCurve(context, RectF{r.left + shift, r.top, r.right + shift, r.bottom}, samples, s);
        context.popLayer();
        context.popClip();
        whole->finish();
    }

    // The kept frame against the whole stroke of the same samples where the
    // kept curve lies, at most half a pixel left or right of the stroke's
    // place: pixel for pixel (within rounding), but for the columns next to
    // r's sides, where the kept curve runs on past its ends and a stroke at
    // the offset stops short of them.
    ::testing::AssertionResult sameAsWholeStroke(const RectF& r, float s, float opacity = 1.0f) {
        paintWhole(r, s, static_cast<float>(scope.offset()), opacity);
        const Difference inside = compare(*kept, *whole, r, 3);
        if (std::abs(scope.offset()) <= 0.5 && inside.most <= kRounding)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "offset " << scope.offset() << ": a channel differs by " << inside.most
                                             << " at (" << inside.x << ", " << inside.y << ")";
    }

    // Scrolled pixels were rounded to 8 bits when drawn; near the newest
    // end, where segments are drawn again, a few units more.
    static constexpr int kRounding = 12;

    History history;
    ScopeImage scope;
    std::unique_ptr<ImageTarget> kept;
    std::unique_ptr<ImageTarget> whole;
};

TEST_F(ScopeImageTest, AdvancedSampleBySampleShowsTheWholeStrokeThroughWrapsAndSizeChanges) {
    struct Stretch {
        const char* what;
        RectF rect;
        float dpi;
        int frames;
        int samplesPerFrame;
    };
    // Sizes with fractional edges; steps of less than a pixel (the narrowest
    // scope) and of several; more than 128 samples, so the history wraps.
    const Stretch stretches[] = {
        {"card scope at 96 dpi", RectF{10.3f, 12.6f, 160.7f, 82.2f}, 96, 140, 1},
        {"two samples a frame", RectF{10.3f, 12.6f, 160.7f, 82.2f}, 96, 40, 2},
        {"narrowest scope", RectF{40.5f, 20.25f, 96.5f, 80.0f}, 96, 70, 1},
        {"wide scope at 192 dpi", RectF{20.5f, 10.25f, 400.75f, 190.75f}, 192, 140, 1},
        {"five samples a frame", RectF{20.5f, 10.25f, 400.75f, 190.75f}, 192, 30, 5},
        {"back to the card scope", RectF{10.3f, 12.6f, 160.7f, 82.2f}, 96, 30, 1},
    };
    for (int i = 0; i < kScopePoints; ++i)
        history.push();
    const Stretch* previous = nullptr;
    for (const Stretch& stretch : stretches) {
        SCOPED_TRACE(stretch.what);
        setDpi(static_cast<int>(stretch.dpi));
        const float s = stretch.dpi / 96.0f;
        paintKept(stretch.rect, s);
        const bool sameLook = previous && previous->dpi == stretch.dpi && previous->rect.left == stretch.rect.left &&
                              previous->rect.right == stretch.rect.right;
        EXPECT_EQ(scope.lastUpdate(), sameLook ? ScopeImage::Update::Unchanged : ScopeImage::Update::Whole);
        previous = &stretch;
        ASSERT_TRUE(sameAsWholeStroke(stretch.rect, s));
        for (int frame = 0; frame < stretch.frames; ++frame) {
            SCOPED_TRACE(frame);
            for (int k = 0; k < stretch.samplesPerFrame; ++k)
                history.push();
            paintKept(stretch.rect, s);
            EXPECT_EQ(scope.lastUpdate(), ScopeImage::Update::Advanced);
            ASSERT_TRUE(sameAsWholeStroke(stretch.rect, s));
            // The frame's second pass over the same samples changes nothing.
            paintKept(stretch.rect, s);
            EXPECT_EQ(scope.lastUpdate(), ScopeImage::Update::Unchanged);
        }
    }
}

TEST_F(ScopeImageTest, DrawsWholeWhenTheSamplesOrTheLookDoNotFollowOn) {
    const RectF r{10.3f, 12.6f, 160.7f, 82.2f};
    struct Change {
        const char* what;
        void (*apply)(History&);
    };
    const Change changes[] = {
        // The history was cleared (a new window): same slot, other samples.
        {"samples changed in place", [](History& h) { h = History{}; }},
        // Samples that stayed are not the ones drawn.
        {"overlap differs", [](History& h) {
             h.values[(h.writeIndex - 10) & (kHistory - 1)] += 0.25f;
             h.push();
         }},
        // More new samples than are worth keeping the rest for.
        {"many samples at once", [](History& h) {
             for (int i = 0; i < 60; ++i)
                 h.push();
         }},
        // A whole turn of the history: the same slot, every sample new.
        {"a whole turn of the history", [](History& h) {
             for (uint32_t i = 0; i < kHistory; ++i)
                 h.push();
         }},
        {"another accent", [](History&) { applyAccentTheme(1); }},
    };
    for (int i = 0; i < 90; ++i)
        history.push();
    paintKept(r, 1.0f);
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        history.push();
        paintKept(r, 1.0f);
        ASSERT_EQ(scope.lastUpdate(), ScopeImage::Update::Advanced);
        change.apply(history);
        paintKept(r, 1.0f);
        EXPECT_EQ(scope.lastUpdate(), ScopeImage::Update::Whole);
        EXPECT_TRUE(sameAsWholeStroke(r, 1.0f));
    }
}

TEST_F(ScopeImageTest, AnEffectThatIsOffShowsTheCurveFaded) {
    const RectF r{10.3f, 12.6f, 160.7f, 82.2f};
    for (int i = 0; i < 70; ++i)
        history.push();
    paintKept(r, 1.0f, 0.38f);
    for (int frame = 0; frame < 20; ++frame) {
        history.push();
        paintKept(r, 1.0f, 0.38f);
        ASSERT_TRUE(sameAsWholeStroke(r, 1.0f, 0.38f)) << "frame " << frame;
    }
}

TEST_F(ScopeImageTest, AScopeTooLargeForAnImageIsStrokedDirectly) {
    for (int i = 0; i < 70; ++i)
        history.push();
    const RectF r{-30000.0f, 12.6f, 300.0f, 82.2f};
    paintKept(r, 1.0f);
    EXPECT_EQ(scope.lastUpdate(), ScopeImage::Update::Direct);
    paintWhole(r, 1.0f);
    EXPECT_EQ(compare(*kept, *whole, RectF{0, 12.6f, kFrameWidth, 82.2f}, 0).most, 0);
}

}  // namespace
}  // namespace qv::test
