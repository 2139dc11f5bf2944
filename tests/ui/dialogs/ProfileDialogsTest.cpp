// The Load Profile and Save Profile As dialogs driven through their
// callbacks after one offscreen paint, over a temporary profile folder.

#include "ui/dialogs/ProfileDialogs.h"

#include "app/FileSettingsStore.h"
#include "app/SettingsSaver.h"
#include "ui/dialogs/ProfileDialogsFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace qv {
namespace {

using test::readFile;

class LoadProfileTest : public test::ProfileDialogsFixture {
protected:
    void open() {
        state = LoadProfileState{};
        initLoadProfileState(state, nullptr);
        paintOnce(paintLoadProfile, &state, 420, 360);
    }
    bool key(int vk) { return keyLoadProfile(kWmKeyDown, static_cast<uintptr_t>(vk), 0, &state); }
    void click(const UiButton& button) {
        const float x = (button.rect.left + button.rect.right) / 2, y = (button.rect.top + button.rect.bottom) / 2;
        mouseLoadProfile(kWmLButtonDown, x, y, 0, &state);
        mouseLoadProfile(kWmLButtonUp, x, y, 0, &state);
    }
    LoadProfileState state;
};

TEST_F(LoadProfileTest, ListsDefaultFirstThenByteOrderAndSelectsTheActiveName) {
    for (const char* name : {"alpha", "Zeta", "default", "mid"})
        writeProfile(kIRacing, name);
    test::writeFile(folder.path() + "profiles/iracing/notes.txt", "x");
    gSettings.edit([](HapticSettings& s) { copyText(s.activeProfile[kIRacing], "mid"); });
    open();
    ASSERT_EQ(state.list.count, 4);
    EXPECT_STREQ(state.list.items[0], "default");
    EXPECT_STREQ(state.list.items[1], "Zeta");
    EXPECT_STREQ(state.list.items[2], "alpha");
    EXPECT_STREQ(state.list.items[3], "mid");
    EXPECT_EQ(state.list.selected, 3);
}

TEST_F(LoadProfileTest, ShowsTheFirst64NamesAndDownStopsAtTheLastRow) {
    for (int i = 0; i < 70; ++i)
        writeProfile(kIRacing, "p" + std::to_string(100 + i));
    open();
    EXPECT_EQ(state.names.size(), 70u);
    ASSERT_EQ(state.list.count, 64);
    EXPECT_STREQ(state.list.items[63], "p163");
    for (int i = 0; i < 80; ++i)
        key(kVkDown);
    EXPECT_EQ(state.list.selected, 63);
    EXPECT_FALSE(key(kVkDown)) << "no repaint when nothing moved";
    key(kVkUp);
    EXPECT_EQ(state.list.selected, 62);
}

TEST_F(LoadProfileTest, AnEmptyFolderListsNothingAndEnterAndLoadDoNothing) {
    open();
    EXPECT_EQ(state.list.count, 0);
    EXPECT_EQ(state.list.selected, 0);
    key(kVkReturn);
    click(state.load);
    EXPECT_FALSE(lastDialogClose().requested);
    const HapticSettings before = gSettings.snapshot();
    finishLoadProfile(state, 1);
    EXPECT_TRUE(unchangedSince(before));
}

TEST_F(LoadProfileTest, DeleteRefusesDefaultSaysWhyAndKeepsTheSelectionInTheList) {
    struct Case {
        std::vector<std::string> names;
        std::string active, selected;
        std::vector<std::string> left;
        int selectedAfter;
        std::string activeAfter, status;
    } cases[] = {
        {{"default", "a", "b"}, "b", "b", {"default", "a"}, 1, "default", "\"b\" deleted; \"default\" is active now."},
        {{"default", "a", "b"}, "b", "a", {"default", "b"}, 1, "b", "\"a\" deleted."},
        {{"default", "a"}, "a", "a", {"default"}, 0, "default", "\"a\" deleted; \"default\" is active now."},
        {{"default", "a"}, "a", "default", {"default", "a"}, 0, "a",
         "The built-in \"default\" profile cannot be deleted."},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder.path() + "profiles");
        for (const std::string& name : c.names)
            writeProfile(kIRacing, name);
        gSettings.edit([&](HapticSettings& s) { copyText(s.activeProfile[kIRacing], c.active.c_str()); });
        open();
        state.list.selected = static_cast<int>(std::find(c.names.begin(), c.names.end(), c.selected) - c.names.begin());
        key(kVkDelete);
        std::vector<std::string> left(state.list.items, state.list.items + state.list.count);
        EXPECT_EQ(left, c.left) << c.selected;
        EXPECT_EQ(state.list.selected, c.selectedAfter) << c.selected;
        EXPECT_EQ(active(kIRacing), c.activeAfter) << c.selected;
        EXPECT_EQ(state.status, c.status) << c.selected;
        EXPECT_TRUE(boxes.shown.empty()) << boxes.last();
    }
    EXPECT_TRUE(std::filesystem::exists(profileFile(kIRacing, "default")));
    // The refusal is painted in the status line between the list and the
    // footer; moving the selection clears it.
    auto withStatus = paintOnce(paintLoadProfile, &state, 420, 360);
    key(kVkDown);
    key(kVkUp);
    EXPECT_EQ(state.status, "");
    auto without = paintOnce(paintLoadProfile, &state, 420, 360);
    int changed = 0, elsewhere = 0;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 420; ++x) {
            const Rgba8 a = withStatus->pixel(x, y), b = without->pixel(x, y);
            if (a.r == b.r && a.g == b.g && a.b == b.b)
                continue;
            const bool inLine = y >= 360 - 74 && y < 360 - 54;
            (inLine ? changed : elsewhere) += 1;
        }
    EXPECT_GT(changed, 20);
    EXPECT_EQ(elsewhere, 0) << "the status line overlaps the list or the footer";
}

TEST_F(LoadProfileTest, ADeletedActiveProfileStaysDeletedThroughLaterChangesAndTheSaveAtExit) {
    struct Case {
        bool hasDefault;
        float roadAfter;  // the values of "default", or the factory ones
        std::string status;
    } cases[] = {
        {true, 0.2f, "\"wet\" deleted; \"default\" is active now."},
        {false, HapticSettings().effectProfiles[kIRacing].roadVibration,
         "\"wet\" deleted; \"default\" could not be read, so it is active with the factory settings: "},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder.path() + "profiles");
        gSettings.replace(HapticSettings());
        if (c.hasDefault)
            writeProfile(kIRacing, "default", 0.2f);
        writeProfile(kIRacing, "wet", 0.9f);
        gSettings.edit([](HapticSettings& s) {
            copyText(s.activeProfile[kIRacing], "wet");
            s.effectProfiles[kIRacing].roadVibration = 0.9f;
            s.effectProfiles[kIRacing].kerbRumble = 0.4f;  // an edit of "wet" not saved yet
        });
        gSettings.takeDirty();
        FileSettingsStore store(folder.path());
        SettingsSaver saver(&store);

        open();
        ASSERT_EQ(state.names[static_cast<size_t>(state.list.selected)], "wet");
        key(kVkDelete);
        EXPECT_FALSE(std::filesystem::exists(profileFile(kIRacing, "wet")));
        EXPECT_EQ(active(kIRacing), "default");
        EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kIRacing].roadVibration, c.roadAfter);
        EXPECT_EQ(state.status.rfind(c.status, 0), 0u) << state.status;
        EXPECT_TRUE(gSettings.takeDirty());

        // A later change, saved as the main thread saves it, then the save at exit.
        gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].kerbRumble = 0.7f; });
        saver.requestSave();
        saver.waitIdle();
        EXPECT_FALSE(std::filesystem::exists(profileFile(kIRacing, "wet"))) << "after a change";
        EXPECT_TRUE(saver.stopAndSave()) << store.lastError();
        EXPECT_FALSE(std::filesystem::exists(profileFile(kIRacing, "wet"))) << "after the save at exit";
        HapticSettings saved;
        ASSERT_TRUE(loadProfile(saved, folder.path(), kIRacing, "default"));
        EXPECT_FLOAT_EQ(saved.effectProfiles[kIRacing].kerbRumble, 0.7f);
        EXPECT_FLOAT_EQ(saved.effectProfiles[kIRacing].roadVibration, c.roadAfter);
    }
}

TEST_F(LoadProfileTest, LoadingSavesTheOutgoingProfileFirstThenAppliesTheChosenOne) {
    writeProfile(kIRacing, "default", 0.1f);
    writeProfile(kIRacing, "wet", 0.9f);
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].kerbRumble = 0.33f; });
    gSettings.takeDirty();
    open();
    key(kVkDown);  // "wet"
    key(kVkReturn);
    ASSERT_TRUE(lastDialogClose().requested);
    finishLoadProfile(state, lastDialogClose().code);
    const HapticSettings now = gSettings.snapshot();
    EXPECT_EQ(active(kIRacing), "wet");
    EXPECT_FLOAT_EQ(now.effectProfiles[kIRacing].roadVibration, 0.9f);
    EXPECT_TRUE(gSettings.takeDirty());
    HapticSettings saved;
    ASSERT_TRUE(loadProfile(saved, folder.path(), kIRacing, "default"));
    EXPECT_FLOAT_EQ(saved.effectProfiles[kIRacing].kerbRumble, 0.33f) << "the last edit of the outgoing profile";
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LoadProfileTest, ABrokenFileChangesNothingAndSaysSo) {
    writeProfile(kIRacing, "default");
    for (const char* text : {"{\"roadVibration\": 1.0, \"suspImpact\": \"loud\"}", "{ not json", ""}) {
        test::writeFile(profileFile(kIRacing, "broken"), text);
        const HapticSettings before = gSettings.snapshot();
        open();
        state.list.selected = 1;  // "broken" sorts after "default"
        finishLoadProfile(state, 1);
        EXPECT_TRUE(unchangedSince(before)) << text;
        EXPECT_NE(boxes.last().find("Could not load profile \"broken\""), std::string::npos) << boxes.last();
    }
}

TEST_F(LoadProfileTest, CancelAndEscapeChangeNothing) {
    writeProfile(kIRacing, "default");
    writeProfile(kIRacing, "other", 0.8f);
    open();
    key(kVkDown);
    key(kVkEscape);
    EXPECT_EQ(lastDialogClose().code, 0);
    resetLastDialogClose();
    click(state.cancel);
    EXPECT_EQ(lastDialogClose().code, 0);
    finishLoadProfile(state, 0);
    EXPECT_EQ(active(kIRacing), "default");
}

TEST_F(LoadProfileTest, ClickingARowThenTheButtonsLoadsOrDeletesIt) {
    for (const char* name : {"default", "a", "b"})
        writeProfile(kIRacing, name);
    open();
    const float rowHeight = listBoxRowPixels(state.list);
    const float x = state.list.rect.left + 10, rowB = state.list.rect.top + rowHeight * 2.5f;
    mouseLoadProfile(kWmLButtonDown, x, rowB, 0, &state);
    mouseLoadProfile(kWmLButtonUp, x, rowB, 0, &state);
    EXPECT_EQ(state.list.selected, 2);
    click(state.remove);
    EXPECT_FALSE(std::filesystem::exists(profileFile(kIRacing, "b")));
    EXPECT_EQ(state.list.selected, 1);
    // A press on "Load" released elsewhere is no click.
    const float lx = state.load.rect.left + 2, ly = state.load.rect.top + 2;
    mouseLoadProfile(kWmLButtonDown, lx, ly, 0, &state);
    mouseLoadProfile(kWmLButtonUp, 1, 1, 0, &state);
    EXPECT_FALSE(lastDialogClose().requested);
    EXPECT_FALSE(state.load.pressed);
    click(state.load);
    EXPECT_EQ(lastDialogClose().code, 1);
}

TEST_F(LoadProfileTest, RendersForReview) {
    for (const char* name : {"default", "Endurance", "Wet Monza", "drift"})
        writeProfile(kIRacing, name);
    open();
    state.list.hoverRow = 2;
    state.load.hovered = 1;
    auto target = paintOnce(paintLoadProfile, &state, 420, 360);
    // The footer band (22, 25, 32) under the buttons' gap.
    EXPECT_TRUE(test::colorNear(target->pixel(5, 360 - 20), Rgba8{22, 25, 32, 255}));
    savePng(*target, "load_profile_dialog");
}

class SaveProfileAsTest : public test::ProfileDialogsFixture {
protected:
    void open() {
        state = SaveProfileAsState{};
        initSaveProfileAsState(state, nullptr);
        paintOnce(paintSaveProfileAs, &state, 420, 200);
    }
    void type(const std::string& text) {
        for (char c : text)
            keySaveProfileAs(kWmChar, static_cast<unsigned char>(c), 0, &state);
    }
    void key(int vk) { keySaveProfileAs(kWmKeyDown, static_cast<uintptr_t>(vk), 0, &state); }
    void clear() {
        for (int i = 0; i < 300; ++i)
            key(kVkBack);
    }
    SaveProfileAsState state;
};

TEST_F(SaveProfileAsTest, TakesLettersDigitsBlanksDashesAndUnderscoresOnly) {
    open();
    EXPECT_STREQ(state.field.text, "MyProfile");
    clear();
    EXPECT_STREQ(state.field.text, "") << "one Backspace key-down deletes one character";
    type("a/b.c\\d:e!f g-h_i\x01");
    EXPECT_STREQ(state.field.text, "abcdef g-h_i");
    clear();
    type(std::string(80, 'x'));
    EXPECT_EQ(std::strlen(state.field.text), 63u);
}

TEST_F(SaveProfileAsTest, AnEmptyNameKeepsTheDialogOpen) {
    open();
    clear();
    key(kVkReturn);
    EXPECT_FALSE(lastDialogClose().requested);
    EXPECT_FALSE(finishSaveProfileAs(state, 1));
    type("x");
    key(kVkReturn);
    EXPECT_EQ(lastDialogClose().code, 1);
}

TEST_F(SaveProfileAsTest, SavesTheCurrentValuesUnderTheNameAndMakesItActive) {
    setSim(kACC);
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kACC].absLock = 0.25f; });
    open();
    clear();
    type("Night Race");
    ASSERT_TRUE(finishSaveProfileAs(state, 1));
    EXPECT_EQ(active(kACC), "Night Race");
    HapticSettings saved;
    ASSERT_TRUE(loadProfile(saved, folder.path(), kACC, "Night Race"));
    EXPECT_FLOAT_EQ(saved.effectProfiles[kACC].absLock, 0.25f);
}

TEST_F(SaveProfileAsTest, AnExistingNameIsReplacedOnlyWhenTheUserAgrees) {
    writeProfile(kIRacing, "mine", 0.7f);
    const std::string before = readFile(profileFile(kIRacing, "mine"));
    open();
    clear();
    type("mine");
    boxes.answer = false;
    EXPECT_FALSE(finishSaveProfileAs(state, 1));
    EXPECT_EQ(boxes.questions(), 1);
    EXPECT_EQ(readFile(profileFile(kIRacing, "mine")), before);
    EXPECT_EQ(active(kIRacing), "default");
    boxes.answer = true;
    EXPECT_TRUE(finishSaveProfileAs(state, 1));
    EXPECT_NE(readFile(profileFile(kIRacing, "mine")), before);
    EXPECT_EQ(active(kIRacing), "mine");
}

TEST_F(SaveProfileAsTest, AFailedSaveIsReportedAndChangesNothing) {
    // A folder where the file would go, and a link to elsewhere: neither is replaced.
    std::filesystem::create_directories(profileFile(kIRacing, "taken"));
    std::filesystem::create_directories(folder.path() + "elsewhere");
    std::filesystem::create_symlink(folder.path() + "elsewhere/target.json", profileFile(kIRacing, "linked"));
    for (const char* name : {"taken", "linked"}) {
        open();
        clear();
        type(name);
        boxes.answer = true;
        EXPECT_FALSE(finishSaveProfileAs(state, 1)) << name;
        EXPECT_EQ(active(kIRacing), "default") << name;
        EXPECT_NE(boxes.last().find("not a regular file"), std::string::npos) << boxes.last();
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "elsewhere/target.json"));
}

TEST_F(SaveProfileAsTest, CaretTimerRepaintsOnlyForItsId) {
    EXPECT_TRUE(timerSaveProfileAs(101, 101, 0, &state));
    EXPECT_FALSE(timerSaveProfileAs(7, 7, 0, &state));
}

// The field and both buttons are drawn where their hit rectangles lie, inside
// the dialog, over the footer band; the render is kept for review.
TEST_F(SaveProfileAsTest, PaintsTheFieldAndButtonsWhereTheyAreHit) {
    open();
    type("Endurance");
    state.save.hovered = 1;
    auto target = paintOnce(paintSaveProfileAs, &state, 420, 200);
    savePng(*target, "save_profile_as_dialog");
    const Rgba8 background = target->pixel(3, 3);
    for (const RectF* r : {&state.field.rect, &state.save.rect, &state.cancel.rect}) {
        EXPECT_GE(r->left, 0.0f);
        EXPECT_LE(r->right, 420.0f);
        EXPECT_LE(r->bottom, 200.0f);
        const int area = static_cast<int>(r->width() * r->height());
        // Filled and outlined: most of the rectangle differs from the background.
        EXPECT_GT(test::inkedPixels(*target, static_cast<int>(r->left), static_cast<int>(r->top),
                                    static_cast<int>(r->right), static_cast<int>(r->bottom), background, 4),
                  area / 2);
    }
    // The typed name shows in the field's left part, its right part is empty.
    const RectF& f = state.field.rect;
    const Rgba8 fieldFill = target->pixel(static_cast<int>(f.right) - 6, static_cast<int>(f.centerY()));
    EXPECT_GT(test::inkedPixels(*target, static_cast<int>(f.left) + 10, static_cast<int>(f.top) + 6,
                                static_cast<int>(f.left) + 80, static_cast<int>(f.bottom) - 6, fieldFill),
              30);
    EXPECT_EQ(test::inkedPixels(*target, static_cast<int>(f.right) - 80, static_cast<int>(f.top) + 6,
                                static_cast<int>(f.right) - 10, static_cast<int>(f.bottom) - 6, fieldFill),
              0);
}

}  // namespace
}  // namespace qv
