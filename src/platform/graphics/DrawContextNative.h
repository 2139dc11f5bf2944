#pragma once
// The Cairo side of a DrawContext, for the drawing layer's own sources.

#include "platform/graphics/DrawContext.h"

#include <cairo.h>
#include <pango/pango.h>
#include <string>

namespace qv {

struct DrawContext::Native {
    static constexpr int kMaxDepth = 32;
    enum class PushKind : uint8_t { Clip, Layer, Translation, Scale };
    struct PushEntry {
        PushKind kind = PushKind::Clip;
        float opacity = 1;
    };

    cairo_t* cairo = nullptr;  // owned
    PangoContext* pango = nullptr;
    PangoLayout* layout = nullptr;  // reused by every text call
    std::string text;               // the sanitised text of the last call; keeps its capacity
    PushEntry stack[kMaxDepth];
    int depth = 0;
    int overflow = 0;  // pushes beyond kMaxDepth, ignored with their pops

    ~Native();
    // Pops everything still pushed (end of a frame).
    void unwind();
};

struct DrawContextFactory {
    // Takes ownership of the Cairo context. Before graphicsInit the context
    // draws shapes but no text.
    static std::unique_ptr<DrawContext> create(cairo_t* cairo);
};

}  // namespace qv
