#pragma once
// Drives a dialog's callbacks the way the dialog host does, on an offscreen
// image: paint once, then send mouse and key messages at painted positions.
// The fake host records every tone and preview call in order.

#include "platform/graphics/ImageTarget.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/GuiHost.h"
#include "ui/dialogs/DialogRunner.h"

#include "support/GraphicsFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

// A GuiHost whose tone and preview callables write lines like
// "tone 2 500 0.70 1" and "preview 3 on" into `calls`.
struct RecordingHost {
    GuiHost host;
    std::vector<std::string> calls;

    RecordingHost() {
        host.testToneFn = [this](int channel, int durationMs, float gain, int stream) {
            char line[64];
            std::snprintf(line, sizeof line, "tone %d %d %.2f %d", channel, durationMs, gain, stream);
            calls.emplace_back(line);
        };
        host.effectPreviewFn = [this](int effect, bool on) {
            calls.push_back("preview " + std::to_string(effect) + (on ? " on" : " off"));
        };
    }
};

// The dialog's callbacks and its last painted image.
class DialogDriver {
public:
    explicit DialogDriver(const DialogSpec& spec) : m_spec(spec) {}

    void paint() {
        const int w = dialogPixels(m_spec.width);
        const int h = dialogPixels(m_spec.height);
        if (!m_image || m_image->width() != w || m_image->height() != h)
            m_image = ImageTarget::create(w, h);
        ASSERT_TRUE(m_image);
        m_image->context().clear(rgb(16, 18, 22));
        m_spec.onPaint(m_image->context(), static_cast<float>(w), static_cast<float>(h), m_spec.userData);
        m_image->finish();
    }
    bool mouse(uint32_t message, float x, float y, uintptr_t wParam = 0) {
        return m_spec.onMouse(message, x, y, wParam, m_spec.userData);
    }
    bool down(float x, float y) { return mouse(kWmLButtonDown, x, y, 1); }
    bool up(float x, float y) { return mouse(kWmLButtonUp, x, y); }
    bool click(float x, float y) {
        const bool a = down(x, y);
        const bool b = up(x, y);
        return a || b;
    }
    bool move(float x, float y) { return mouse(kWmMouseMove, x, y); }
    bool wheel(float x, float y, int notches) {
        const auto delta = static_cast<uint16_t>(static_cast<int16_t>(notches * 120));
        return mouse(kWmMouseWheel, x, y, static_cast<uintptr_t>(delta) << 16);
    }
    bool key(int virtualKey) {
        return m_spec.onKey(kWmKeyDown, static_cast<uintptr_t>(virtualKey), 0, m_spec.userData);
    }
    bool typed(int ch) { return m_spec.onKey(kWmChar, static_cast<uintptr_t>(ch), 0, m_spec.userData); }

    ImageTarget& image() { return *m_image; }
    const DialogSpec& spec() const { return m_spec; }

    // Writes the last painted image to renders/<name>.png in the build folder.
    void saveRender(const char* name) {
        std::filesystem::create_directories(QV_RENDER_DIR);
        std::string error;
        const std::string path = std::string(QV_RENDER_DIR) + "/" + name + ".png";
        EXPECT_TRUE(m_image->savePng(path, &error)) << error;
    }

private:
    DialogSpec m_spec;
    std::unique_ptr<ImageTarget> m_image;
};

// The live settings start from the defaults in every test; the appearance is
// made at 96 dpi with the first accent preset.
class DialogFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        createTextFormats();
        createBrushes(0);
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
    }
    void TearDown() override {
        setDialogRunner(nullptr);
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
    static HapticSettings settings() { return gSettings.snapshot(); }
    template <typename Fn>
    static void edit(Fn&& change) {
        gSettings.edit(change);
        gSettings.takeDirty();
    }
};

// Lets a test take the place of the dialog host for openXxx(): the runner
// gets the DialogSpec and returns the dialog's result.
inline std::function<int(const DialogSpec&)>& testRunner() {
    static std::function<int(const DialogSpec&)> runner;
    return runner;
}
inline int runTestDialog(const DialogSpec& spec) { return testRunner() ? testRunner()(spec) : -1; }
inline void installTestRunner(std::function<int(const DialogSpec&)> runner) {
    testRunner() = std::move(runner);
    setDialogRunner(runTestDialog);
}


}  // namespace qv::test
