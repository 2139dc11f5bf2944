// The community profiles dialog as a real modal window on SDL's offscreen
// driver against a loopback catalogue that answers a download only after
// 20 s: the window keeps painting and answering while the request runs, and
// Escape lets it go at once.

#include "ui/dialogs/CommunityProfilesDialog.h"

#include "app/BackendClient.h"
#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/dialogs/ProfileDialogsFixture.h"

namespace qv::test {
namespace {

constexpr uint32_t kScriptTimer = 900;

// The steps the test takes inside the dialog's own loop, one per tick of a
// timer of its own, each once what it waits for has happened.
struct Script {
    CommunityProfilesState* state = nullptr;
    bool (*dialogTimer)(uint32_t, uintptr_t, intptr_t, void*) = nullptr;
    void (*dialogPaint)(DrawContext&, float, float, void*) = nullptr;
    int step = 0;
    int paints = 0;
    int paintsWhenBusy = -1;
    bool repaintedWhileBusy = false;
    bool hoverWhileBusy = false;
    std::string statusAfterEscape;
    bool busyAfterEscape = true;
};
Script gScript;

void scriptPaint(DrawContext& context, float width, float height, void* user) {
    ++gScript.paints;
    gScript.dialogPaint(context, width, height, user);
}

class CatalogueWindowTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(server.isRunning()) << server.error();
        gSettings.replace(HapticSettings());
        setProfileBaseFolder(folder.path());
        setMessageBoxes(&boxes);
        BackendConfig config;
        config.baseUrl = server.url("/files");
        config.caFile = server.caFile();
        setBackendConfig(config);
    }
    void TearDown() override {
        setBackendConfig(BackendConfig{});
        setMessageBoxes(nullptr);
        setProfileBaseFolder({});
        releaseGuiResources();
        WindowFixture::TearDown();
    }

    static bool scriptTimer(uint32_t id, uintptr_t wParam, intptr_t lParam, void* user) {
        if (id != kScriptTimer)
            return gScript.dialogTimer(id, wParam, lParam, user);
        Script& s = gScript;
        CommunityProfilesState& state = *s.state;
        WindowHandle window = currentDialogWindow();
        const RectF close = state.close.rect;
        switch (s.step) {
        case 0:  // the list is there: start the slow download
            if (state.busy || state.list.count == 0)
                return false;
            pushKey(window, SDLK_RETURN);
            s.step = 1;
            return false;
        case 1:  // busy: move the pointer onto Close, which must repaint it hovered
            if (!state.busy)
                return false;
            s.paintsWhenBusy = s.paints;
            pushMotion(window, int(close.left + 10), int(close.top + 10));
            s.step = 2;
            return false;
        case 2:
            if (!state.busy || s.paints <= s.paintsWhenBusy || !state.close.hovered)
                return false;
            s.repaintedWhileBusy = true;
            s.hoverWhileBusy = state.close.hovered != 0;
            pushKey(window, SDLK_ESCAPE);
            s.step = 3;
            return false;
        case 3:  // Escape handled: the request is let go, the dialog stays
            if (state.status != "Download cancelled.")
                return false;
            s.statusAfterEscape = state.status;
            s.busyAfterEscape = state.busy;
            pushKey(window, SDLK_ESCAPE);
            s.step = 4;
            return false;
        default:
            return false;
        }
    }

    HttpsTestServer server;
    TempDir folder;
    RecordingBoxes boxes;
};

TEST_F(CatalogueWindowTest, TheWindowAnswersDuringASlowDownloadAndEscapeCancelsIt) {
    server.serveFile("fetch-profiles", R"([{"id": "1", "name": "Slow"}])");
    CommunityProfilesState state;
    ASSERT_TRUE(startCommunityProfiles(state, nullptr));
    ASSERT_TRUE(state.request.waitUntilDone(20000));
    // Every later request (the download) gets its reply 20 s after its headers.
    server.serveFile("fetch-profiles", R"({"profile": {"roadVibration": 0.9}})", 200, 20);

    const std::string title = "Community Profiles";
    DialogSpec spec = communityProfilesSpec(state, nullptr, title);
    gScript = Script{};
    gScript.state = &state;
    gScript.dialogTimer = spec.onTimer;
    gScript.dialogPaint = spec.onPaint;
    spec.onTimer = scriptTimer;
    spec.onPaint = [](DrawContext& context, float width, float height, void* user) {
        static WindowHandle timed = nullptr;
        if (timed != currentDialogWindow()) {
            timed = currentDialogWindow();
            setWindowTimer(timed, kScriptTimer, 20);
        }
        scriptPaint(context, width, height, user);
    };
    const HapticSettings before = gSettings.snapshot();
    EXPECT_EQ(runModalDialog(spec), 0);

    EXPECT_EQ(gScript.step, 4);
    EXPECT_TRUE(gScript.repaintedWhileBusy) << "no paint while the download ran";
    EXPECT_TRUE(gScript.hoverWhileBusy);
    EXPECT_EQ(gScript.statusAfterEscape, "Download cancelled.");
    EXPECT_FALSE(gScript.busyAfterEscape);
    // The transfer ends long before the server's 20 s answer.
    EXPECT_TRUE(eventually([] { return runningCatalogueWorkers() == 0; }, 10000));
    const HapticSettings now = gSettings.snapshot();
    EXPECT_EQ(std::memcmp(&before, &now, sizeof now), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace qv::test
