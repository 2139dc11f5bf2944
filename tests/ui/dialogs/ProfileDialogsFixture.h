#pragma once
// What the profile dialog tests share: a temporary profile folder, the live
// settings reset to the defaults, recording message boxes, a scripted file
// dialog, and the drawing layer for one offscreen paint.

#include "platform/FileDialog.h"
#include "platform/graphics/ImageTarget.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "support/GraphicsFixture.h"
#include "support/TempDir.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileFileChooser.h"
#include "ui/dialogs/ProfileTransfer.h"
#include "ui/panels/ProfileActions.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

struct RecordingBoxes final : IMessageBoxes {
    struct Shown {
        std::string title, text;
        bool question = false;
    };
    std::vector<Shown> shown;
    bool answer = false;  // what askYesNo says

    void show(WindowHandle, const char* title, const char* text, MessageKind) override {
        shown.push_back({title ? title : "", text ? text : "", false});
    }
    bool askYesNo(WindowHandle, const char* title, const char* text) override {
        shown.push_back({title ? title : "", text ? text : "", true});
        return answer;
    }
    int questions() const {
        int n = 0;
        for (const Shown& s : shown)
            n += s.question;
        return n;
    }
    std::string last() const { return shown.empty() ? std::string() : shown.back().text; }
};

struct ScriptedFileDialog final : IFileDialog {
    std::vector<FileDialogRequest> requests;
    FileDialogResult next;

    FileDialogResult run(const FileDialogRequest& request, const FileDialogWait&) override {
        requests.push_back(request);
        return next;
    }
    void choose(const std::string& path, bool confirmed = false) {
        next = FileDialogResult{};
        next.status = FileDialogStatus::kChosen;
        next.path = path;
        next.overwriteConfirmed = confirmed;
    }
    void cancel() {
        next = FileDialogResult{};
        next.status = FileDialogStatus::kCancelled;
    }
};

class ProfileDialogsFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        setProfileBaseFolder(folder.path());
        setProfileFileDialogFolder(folder.path() + "docs");
        std::filesystem::create_directories(folder.path() + "docs");
        setMessageBoxes(&boxes);
        setProfileFileDialog(&files);
        resetLastDialogClose();
        createTextFormats();
        createBrushes(0);
    }
    void TearDown() override {
        setMessageBoxes(nullptr);
        setProfileFileDialog(nullptr);
        setProfileBaseFolder({});
        setProfileFileDialogFolder({});
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }

    std::string profileFile(int sim, const std::string& name) const {
        return folder.path() + "profiles/" + kSimKeys[sim] + "/" + name + ".json";
    }
    // Writes a profile file of `sim` from a block whose profile has roadVibration = road.
    void writeProfile(int sim, const std::string& name, float road = 0.5f) {
        HapticSettings s;
        s.effectProfiles[sim].roadVibration = road;
        ASSERT_TRUE(saveProfile(s, folder.path(), sim, name));
    }
    static std::string active(int sim) { return std::string(textOf(gSettings.snapshot().activeProfile[sim])); }
    // The live block is byte for byte `before`.
    static bool unchangedSince(const HapticSettings& before) {
        const HapticSettings now = gSettings.snapshot();
        return std::memcmp(&before, &now, sizeof now) == 0;
    }
    static void setSim(int sim) {
        gSettings.edit([sim](HapticSettings& s) { s.selectedSim = sim; });
    }

    // Paints the dialog once into an offscreen image of its size at 96 dpi
    // (the painters lay out the widgets the handlers then test).
    template <typename Paint>
    std::unique_ptr<ImageTarget> paintOnce(Paint paint, void* state, int width, int height) {
        auto target = image(width, height);
        target->context().clear(rgb(16, 18, 22));
        paint(target->context(), float(width), float(height), state);
        target->finish();
        return target;
    }
    static void savePng(ImageTarget& target, const std::string& name) {
        std::filesystem::create_directories(QV_RENDERS_DIR);
        std::string error;
        EXPECT_TRUE(target.savePng(std::string(QV_RENDERS_DIR) + "/" + name + ".png", &error)) << error;
    }

    TempDir folder;
    RecordingBoxes boxes;
    ScriptedFileDialog files;
};

}  // namespace qv::test
