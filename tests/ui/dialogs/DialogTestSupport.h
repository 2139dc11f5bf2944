#pragma once
// What the dialog tests share: fakes for the message boxes and the desktop
// opener, painting a dialog once into an offscreen image (and its PNG into
// the build folder), and clicks at the centre of a widget.

#include "platform/DesktopOpener.h"
#include "platform/Window.h"
#include "platform/graphics/ImageTarget.h"
#include "ui/MessageBox.h"
#include "ui/Widgets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qv::test {

struct FakeMessageBoxes final : IMessageBoxes {
    struct Shown {
        std::string title;
        std::string text;
        bool question = false;
    };
    std::vector<Shown> shown;
    bool answer = false;
    FakeMessageBoxes() { setMessageBoxes(this); }
    ~FakeMessageBoxes() override { setMessageBoxes(nullptr); }
    void show(WindowHandle, const char* title, const char* text, MessageKind) override {
        shown.push_back({title ? title : "", text ? text : "", false});
    }
    bool askYesNo(WindowHandle, const char* title, const char* text) override {
        shown.push_back({title ? title : "", text ? text : "", true});
        return answer;
    }
};

struct FakeOpener final : IDesktopOpener {
    std::vector<std::string> opened;
    bool succeed = true;
    FakeOpener() { setDesktopOpener(this); }
    ~FakeOpener() override { setDesktopOpener(nullptr); }
    bool open(const std::string& target, std::string* error) override {
        opened.push_back(target);
        if (!succeed && error)
            *error = "no opener here";
        return succeed;
    }
};

// Paints into a fresh image of the dialog's size (96 dpi) on the dialog
// background; keeps the image for pixel checks.
template <typename Paint, typename State>
std::unique_ptr<ImageTarget> paintOnce(Paint paint, State& state, int width, int height) {
    auto image = ImageTarget::create(width, height);
    EXPECT_TRUE(image);
    if (!image)
        return image;
    image->context().clear(rgb(16, 18, 22));
    paint(image->context(), static_cast<float>(width), static_cast<float>(height), &state);
    image->finish();
    return image;
}

inline void saveRender(ImageTarget& image, const std::string& name) {
#ifdef QV_RENDERS_DIR
    std::string error;
    EXPECT_TRUE(image.savePng(std::string(QV_RENDERS_DIR) + "/" + name + ".png", &error)) << error;
#else
    (void)image;
    (void)name;
#endif
}

inline float midX(const RectF& r) { return (r.left + r.right) / 2; }
inline float midY(const RectF& r) { return (r.top + r.bottom) / 2; }

// Press and release at the point through a dialog's mouse callback.
template <typename Mouse, typename State>
void clickAt(Mouse mouse, State& state, float x, float y) {
    mouse(kWmLButtonDown, x, y, kMkLButton, &state);
    mouse(kWmLButtonUp, x, y, 0, &state);
}

template <typename Mouse, typename State>
void clickRect(Mouse mouse, State& state, const RectF& rect) {
    clickAt(mouse, state, midX(rect), midY(rect));
}

// The centre of row `row` of an open drop-down's list.
inline float dropdownRowY(const UiDropdown& dropdown, int row) {
    return dropdown.listRect.top + (static_cast<float>(row) + 0.5f) * dropdownItemPixels(dropdown);
}

}  // namespace qv::test
