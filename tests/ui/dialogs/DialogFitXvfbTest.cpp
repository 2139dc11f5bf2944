// The large dialogs on a 1920 x 1080 screen at 192 dpi (Xft.dpi set with
// xrdb, openbox managing the screen): each window, frame included, lies
// inside the screen, and each of its buttons inside the window. A dialog too
// large for the work area is drawn at a lower scale of its own; its content
// keeps its layout. The frames are left in <build>/renders/ for review.

#include "ui/dialogs/ChannelRoutingDialog.h"
#include "ui/dialogs/DeviceWizard.h"
#include "ui/dialogs/DeviceWizardDialog.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/dialogs/ZoneSetupDialog.h"

#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/GuiHost.h"

#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace qv {
namespace {

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
constexpr uint32_t kCheckTimerId = 0x7F01;

struct Shown {
    bool seen = false;
    int x = 0, y = 0, width = 0, height = 0;  // client, root coordinates
    long frame[4] = {};                       // left, right, top, bottom
    float paintedWidth = 0, paintedHeight = 0;
    float scale = 1;
    std::vector<std::pair<std::string, RectF>> buttons;  // client pixels of the layout
};

Display* gDisplay = nullptr;
DialogSpec gRealSpec;
Shown gShown;
int gChecks = 0;
// The buttons of the dialog behind the user pointer, in its layout's pixels.
std::function<std::vector<std::pair<std::string, RectF>>(void*)> gButtonsOf;

// The client's place and the window manager's frame, once the frame is there.
bool readGeometry(Shown* shown) {
    const Window window = static_cast<Window>(x11WindowId(currentDialogWindow()));
    if (!window)
        return false;
    XSync(gDisplay, False);
    XWindowAttributes a{};
    if (!XGetWindowAttributes(gDisplay, window, &a) || a.map_state != IsViewable)
        return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom extents = XInternAtom(gDisplay, "_NET_FRAME_EXTENTS", False);
    if (XGetWindowProperty(gDisplay, window, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) != Success ||
        count != 4 || !data) {
        if (data)
            XFree(data);
        return false;
    }
    for (int i = 0; i < 4; ++i)
        shown->frame[i] = reinterpret_cast<long*>(data)[i];
    XFree(data);
    Window child = 0;
    XTranslateCoordinates(gDisplay, window, DefaultRootWindow(gDisplay), 0, 0, &shown->x, &shown->y, &child);
    shown->width = a.width;
    shown->height = a.height;
    return true;
}

// The dialog as its window shows it, into the build folder for review.
void saveRender(void* user) {
    if (gShown.width <= 0 || gShown.height <= 0)
        return;
    auto image = ImageTarget::create(gShown.width, gShown.height);
    if (!image)
        return;
    DrawContext& context = image->context();
    context.clear(rgb(16, 18, 22));
    context.pushScale(gShown.scale);
    gRealSpec.onPaint(context, gShown.width / gShown.scale, gShown.height / gShown.scale, user);
    context.popScale();
    image->finish();
    std::string name = gRealSpec.title ? gRealSpec.title : "dialog";
    for (char& ch : name)
        ch = ch == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string folder = std::string(QV_RENDER_DIR);
    std::filesystem::create_directories(folder);
    char path[512];
    std::snprintf(path, sizeof(path), "%s/dialog_fit_192dpi_%s_%d.png", folder.c_str(), name.c_str(),
                  gSettings.snapshot().numActiveZones);
    image->savePng(path);
}

int runAndMeasure(const DialogSpec& spec) {
    gRealSpec = spec;
    gShown = Shown{};
    gChecks = 0;
    DialogSpec wrapped = spec;
    wrapped.onPaint = [](DrawContext& context, float w, float h, void* user) {
        gRealSpec.onPaint(context, w, h, user);
        gShown.paintedWidth = w;
        gShown.paintedHeight = h;
        if (gChecks == 0 && currentDialogWindow()) {
            gChecks = 1;
            setWindowTimer(currentDialogWindow(), kCheckTimerId, 50);
        }
    };
    wrapped.onTimer = [](uint32_t id, uintptr_t wParam, intptr_t lParam, void* user) {
        if (id != kCheckTimerId)
            return gRealSpec.onTimer ? gRealSpec.onTimer(id, wParam, lParam, user) : false;
        // Openbox places and frames the window a little after it is mapped.
        if (readGeometry(&gShown) || ++gChecks > 200) {
            gShown.seen = gChecks <= 200;
            gShown.scale = currentDialogScale();
            gShown.buttons = gButtonsOf(user);
            saveRender(user);
            killWindowTimer(currentDialogWindow(), kCheckTimerId);
            closeDialog(0);
        }
        return false;
    };
    return runModalDialog(wrapped);
}

std::vector<std::pair<std::string, RectF>> buttonsOf(const UiButton* buttons, int count) {
    std::vector<std::pair<std::string, RectF>> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(buttons[i].label, buttons[i].rect);
    return out;
}

class DialogFitXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        prepareWindowSystem();
        ASSERT_TRUE(xvfb.start("1920x1080x24", test::WindowManager::Openbox)) << xvfb.error();
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("QUORVANE_DPI");
        setXftDpi(192);
        gDisplay = XOpenDisplay(xvfb.display().c_str());
        ASSERT_NE(gDisplay, nullptr);
        std::string error;
        ASSERT_TRUE(windowSystemInit(&error)) << error;
        clearQuitMessage();
        ASSERT_TRUE(graphicsInit(GraphicsConfig{{}, 0})) << lastGraphicsError();
        setDpi(desktopDpi());
        ASSERT_EQ(currentDpi(), 192);
        createTextFormats();
        createBrushes(0);
        gSettings.replace(HapticSettings());
        gSettings.edit([](HapticSettings& s) { s.audioDeviceIndex = 0; });
        host.settingsFolder = dir.path();
        setDialogRunner(runAndMeasure);
    }
    void TearDown() override {
        setDialogRunner(nullptr);
        releaseGuiResources();
        graphicsShutdown();
        windowSystemShutdown();
        clearQuitMessage();
        setDpi(96);
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        if (gDisplay)
            XCloseDisplay(gDisplay);
        gDisplay = nullptr;
    }
    // What a desktop does when the user picks a scale.
    void setXftDpi(int dpi) {
        ASSERT_TRUE(xvfb.mergeResources("Xft.dpi: " + std::to_string(dpi) + "\n")) << xvfb.error();
    }

    test::XvfbServer xvfb;
    test::TempDir dir;
    GuiHost host;
};

TEST_F(DialogFitXvfbTest, EveryLargeDialogLiesInsideTheScreenWithItsButtonsAtTwiceTheScale) {
    struct Case {
        const char* name;
        int zones;
        std::function<void()> open;
        std::function<std::vector<std::pair<std::string, RectF>>(void*)> buttons;
    } cases[] = {
        {"Channel Routing", 4, [this] { openChannelRouting(nullptr, &host); },
         [](void* user) {
             return buttonsOf(static_cast<ChannelRoutingState*>(user)->buttons, kRoutingButtonCount);
         }},
        {"Channel Routing", 8, [this] { openChannelRouting(nullptr, &host); },
         [](void* user) {
             return buttonsOf(static_cast<ChannelRoutingState*>(user)->buttons, kRoutingButtonCount);
         }},
        {"Zone Setup", 4, [this] { openZoneSetup(nullptr, &host); },
         [](void* user) {
             const auto* state = static_cast<ZoneSetupState*>(user);
             const UiButton buttons[] = {state->apply, state->close};
             return buttonsOf(buttons, 2);
         }},
        {"Device Setup", 4, [this] { openDeviceWizard(nullptr, &host); },
         [](void* user) {
             const WizardState& state = *wizardStateOf(user);
             const UiButton buttons[] = {state.next, state.close};
             return buttonsOf(buttons, 2);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.zones) + " zones");
        gSettings.edit([&](HapticSettings& s) { s.numActiveZones = c.zones; });
        gButtonsOf = c.buttons;
        c.open();
        ASSERT_TRUE(gShown.seen) << "the dialog was not shown with a frame";
        const Shown& g = gShown;
        // The window with its frame inside the screen.
        EXPECT_GE(g.x - g.frame[0], 0);
        EXPECT_GE(g.y - g.frame[2], 0);
        EXPECT_LE(g.x + g.width + g.frame[1], kScreenWidth) << g.width << " wide at " << g.x;
        EXPECT_LE(g.y + g.height + g.frame[3], kScreenHeight) << g.height << " high at " << g.y;
        // The whole layout is drawn into the window.
        EXPECT_NEAR(g.paintedWidth * g.scale, g.width, 1.5f);
        EXPECT_NEAR(g.paintedHeight * g.scale, g.height, 1.5f);
        ASSERT_FALSE(g.buttons.empty());
        for (const auto& [label, r] : g.buttons) {
            SCOPED_TRACE(label);
            EXPECT_GT(r.width(), 0.0f);
            EXPECT_GE(r.left * g.scale, 0.0f);
            EXPECT_GE(r.top * g.scale, 0.0f);
            EXPECT_LE(r.right * g.scale, g.width + 0.5f);
            EXPECT_LE(r.bottom * g.scale, g.height + 0.5f);
        }
    }
}

}  // namespace
}  // namespace qv
