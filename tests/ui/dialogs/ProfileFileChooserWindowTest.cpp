// The export and import file choice through the real chain of dialogs on
// SDL's dummy video driver: no portal (no session bus), a fake zenity script
// on PATH or none, and then the program's own path dialog.

#include "settings/LiveSettings.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/MessageBox.h"
#include "settings/ProfileFile.h"
#include "ui/GuiHooks.h"
#include "ui/dialogs/PathDialog.h"
#include "ui/dialogs/ProfileDialogHooks.h"
#include "ui/dialogs/ProfileTransfer.h"
#include "ui/panels/ProfileActions.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileFileChooser.h"

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace qv {
namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_had ? ::setenv(m_name.c_str(), m_old.c_str(), 1) : ::unsetenv(m_name.c_str()); }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

struct Boxes final : IMessageBoxes {
    int questions = 0, shown = 0;
    bool answer = true;
    void show(WindowHandle, const char*, const char*, MessageKind) override { ++shown; }
    bool askYesNo(WindowHandle, const char*, const char*) override {
        ++questions;
        return answer;
    }
};

// A window whose timer runs the test's steps inside whatever loop is running.
struct Owner {
    WindowHandle window = nullptr;
    std::function<void()> onTick;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t, intptr_t, void* user) {
        auto* self = static_cast<Owner*>(user);
        if (message == kWmTimer && self->onTick)
            self->onTick();
        return 0;
    }
};

class ProfileFileChooserWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        createTextFormats();
        createBrushes(0);
        setMessageBoxes(&boxes);
        setProfileFileDialogFolder(dir.path() + "docs");
        std::filesystem::create_directories(dir.path() + "docs");
        std::filesystem::create_directories(dir.path() + "bin");
        WindowOptions options;
        options.title = "owner";
        options.proc = Owner::proc;
        options.user = &owner;
        owner.window = createWindow(options);
        ASSERT_NE(owner.window, nullptr) << lastWindowError();
        setWindowTimer(owner.window, 1, 20);
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        setProfileFileDialogFolder({});
        releaseGuiResources();
        WindowFixture::TearDown();
    }
    void installZenity(const std::string& body) {
        const std::string path = dir.path() + "bin/zenity";
        ASSERT_TRUE(test::writeFile(path, "#!/bin/sh\n" + body + "\n"));
        ::chmod(path.c_str(), 0755);
    }

    test::TempDir dir;
    ScopedEnv noBus{"DBUS_SESSION_BUS_ADDRESS", nullptr};
    ScopedEnv path{"PATH", (dir.path() + "bin").c_str()};
    ScopedEnv display{"DISPLAY", ":97"};
    Boxes boxes;
    Owner owner;
};

TEST_F(ProfileFileChooserWindowTest, ZenitysAnswerGetsTheExtensionAndAnExistingFileIsReplacedOnlyAfterAsking) {
    installZenity("echo " + dir.path() + "docs/mine");
    std::string chosen;
    ASSERT_TRUE(chooseExportPath(owner.window, "default.qvprofile", chosen));
    EXPECT_EQ(chosen, dir.path() + "docs/mine.qvprofile");
    EXPECT_EQ(boxes.questions, 0);
    test::writeFile(chosen, "old");
    boxes.answer = false;
    EXPECT_FALSE(chooseExportPath(owner.window, "default.qvprofile", chosen));
    EXPECT_EQ(boxes.questions, 1);
    EXPECT_TRUE(isWindowEnabled(owner.window)) << "the owner takes input again";
}

TEST_F(ProfileFileChooserWindowTest, AQuitWhileZenityIsOpenEndsTheChoiceAndStaysPosted) {
    installZenity("exec /bin/sleep 60");
    int ticks = 0;
    owner.onTick = [&] {
        if (++ticks == 3)
            postQuitMessage();
    };
    std::string chosen;
    EXPECT_FALSE(chooseImportPath(owner.window, chosen));
    EXPECT_TRUE(isQuitPosted());
    EXPECT_EQ(boxes.shown, 0);
}

TEST_F(ProfileFileChooserWindowTest, WithoutPortalOrHelperOurOwnPathDialogAsksForTheFile) {
    const std::string file = dir.path() + "docs/in.qvprofile";
    test::writeFile(file, "{}");
    owner.onTick = [&] {
        WindowHandle dialog = currentDialogWindow();
        if (!dialog)
            return;
        owner.onTick = nullptr;
        // Clear the proposed folder, type the file's path, press Enter.
        for (int i = 0; i < 200; ++i)
            pushKey(dialog, SDLK_BACKSPACE);
        for (char c : file) {
            const char text[2] = {c, 0};
            pushText(dialog, text);
        }
        pushKey(dialog, SDLK_RETURN);
    };
    std::string chosen;
    ASSERT_TRUE(chooseImportPath(owner.window, chosen));
    EXPECT_EQ(chosen, file);
}

TEST_F(ProfileFileChooserWindowTest, OurOwnPathDialogRefusesWhatItCannotUseAndRendersForReview) {
    PathDialogState state;
    FileDialogRequest request;
    request.mode = FileDialogMode::kOpen;
    request.folder = dir.path() + "docs";
    initPathDialogState(state, request);
    auto target = test::GraphicsFixture::image(520, 210);
    target->context().clear(rgb(16, 18, 22));
    paintPathDialog(target->context(), 520, 210, &state);
    for (const char* path : {"relative.qvprofile", "/no/such/file.qvprofile"}) {
        setWidgetText(state.field.text, path);
        resetLastDialogClose();
        acceptPathDialog(state);
        EXPECT_FALSE(lastDialogClose().requested) << path;
        EXPECT_FALSE(state.problem.empty()) << path;
    }
    state.mode = FileDialogMode::kSave;
    setWidgetText(state.field.text, (dir.path() + "docs").c_str());
    acceptPathDialog(state);
    EXPECT_EQ(state.problem, "That is a folder; add a file name.");
    paintPathDialog(target->context(), 520, 210, &state);
    target->finish();
    std::filesystem::create_directories(QV_RENDERS_DIR);
    EXPECT_TRUE(target->savePng(std::string(QV_RENDERS_DIR) + "/path_dialog.png"));
}

TEST_F(ProfileFileChooserWindowTest, TheMenuEntriesOpenRealDialogsThatLoadAndSave) {
    installProfileDialogs();
    const DialogEntries& entries = dialogEntries();
    ASSERT_NE(entries.openLoadProfile, nullptr);
    setProfileBaseFolder(dir.path());
    gSettings.replace(HapticSettings());
    HapticSettings other;
    other.effectProfiles[kIRacing].roadVibration = 0.93f;
    ASSERT_TRUE(saveProfile(other, dir.path(), kIRacing, "default"));
    ASSERT_TRUE(saveProfile(other, dir.path(), kIRacing, "wet"));
    // Load: Down to "wet", Enter.
    owner.onTick = [&] {
        if (WindowHandle dialog = currentDialogWindow()) {
            owner.onTick = nullptr;
            pushKey(dialog, SDLK_DOWN);
            pushKey(dialog, SDLK_RETURN);
        }
    };
    entries.openLoadProfile(owner.window);
    EXPECT_EQ(textOf(gSettings.snapshot().activeProfile[kIRacing]), "wet");
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kIRacing].roadVibration, 0.93f);
    // Save As: "MyProfile" + "2", Enter.
    owner.onTick = [&] {
        if (WindowHandle dialog = currentDialogWindow()) {
            owner.onTick = nullptr;
            pushText(dialog, "2");
            pushKey(dialog, SDLK_RETURN);
        }
    };
    entries.openSaveProfileAs(owner.window);
    EXPECT_EQ(textOf(gSettings.snapshot().activeProfile[kIRacing]), "MyProfile2");
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "profiles/iracing/MyProfile2.json"));
    setProfileBaseFolder({});
    dialogEntries() = DialogEntries{};
}

}  // namespace
}  // namespace qv
