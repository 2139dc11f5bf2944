#pragma once
// The main window's bands without a window: the appearance on an offscreen
// image of 1500 x 860, a fresh settings block, a temporary profile folder,
// recording message boxes and popup menu, and a GUI host whose callables
// record their calls. paintAll() lays out and paints one frame of the main
// window; the handlers are then driven with coordinates from the hit
// rectangles of that layout.

#include "app/AppGlobals.h"
#include "audio/AudioStatus.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileList.h"
#include "ui/Appearance.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include "support/GraphicsFixture.h"
#include "support/TempDir.h"

#include <string>
#include <utility>
#include <vector>

namespace qv::test {

inline constexpr int kClientWidth = 1500;
inline constexpr int kClientHeight = 860;

class RecordingMessageBoxes : public IMessageBoxes {
public:
    void show(WindowHandle, const char* title, const char* text, MessageKind kind) override {
        shown.push_back({title ? title : "", text ? text : ""});
        lastKind = kind;
    }
    bool askYesNo(WindowHandle, const char* title, const char* text) override {
        questions.push_back({title ? title : "", text ? text : ""});
        return answer;
    }
    std::vector<std::pair<std::string, std::string>> shown;
    std::vector<std::pair<std::string, std::string>> questions;
    MessageKind lastKind = MessageKind::Info;
    bool answer = false;
};

// The popup menu answers with the id the test chose and keeps the items.
struct MenuRecorder {
    static inline int answer = 0;
    static inline std::vector<int> ids;
    static int run(WindowHandle, float, float, const PopupMenuItem* items, int count) {
        ids.clear();
        for (int i = 0; i < count; ++i)
            ids.push_back(items[i].separator ? -1 : items[i].id);
        return answer;
    }
};

class BandsFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        resetAppGlobals();
        resetAudioStatus();
        applyDensity(1);
        createTextFormats();
        createBrushes(0);
        setProfileBaseFolder(folder.path());
        setMessageBoxes(&boxes);
        MenuRecorder::answer = 0;
        MenuRecorder::ids.clear();
        setPopupMenuRunner(&MenuRecorder::run);
        installGuiHooks();
        resetMainWindowBands();
        host.selectSimFn = [this](int sim) { simCalls.push_back(sim); };
        host.effectPreviewFn = [this](int effect, bool on) { previewCalls.push_back({effect, on}); };
        target = image(kClientWidth, kClientHeight);
    }
    void TearDown() override {
        target.reset();
        setPopupMenuRunner(nullptr);
        setMessageBoxes(nullptr);
        setProfileBaseFolder({});
        resetMainWindowBands();
        releaseGuiResources();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        GraphicsFixture::TearDown();
    }

    // One frame of the main window, as its painter draws it.
    void paintAll(float time = 0.0f) {
        paintMainWindow(target->context(), static_cast<float>(target->width()), static_cast<float>(target->height()),
                        time);
        target->finish();
    }

    void selectSim(int sim) {
        gSettings.edit([sim](HapticSettings& s) { s.selectedSim = sim; });
        gProfileList.refreshProfileList(profileBaseFolder(), sim);
        buildEffectCards(sim);
    }

    Rgba8 pixelAt(float x, float y) const { return target->pixel(static_cast<int>(x), static_cast<int>(y)); }

    TempDir folder;
    RecordingMessageBoxes boxes;
    GuiHost host;
    std::vector<int> simCalls;
    std::vector<std::pair<int, bool>> previewCalls;
    std::unique_ptr<ImageTarget> target;
};

inline PointF centreOf(const RectF& r) { return PointF{r.centerX(), r.centerY()}; }

}  // namespace qv::test
