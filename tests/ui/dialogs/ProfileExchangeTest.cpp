// Profile export and import through a scripted file dialog, over a
// temporary profile folder.

#include "ui/dialogs/ProfileExchange.h"

#include "ui/dialogs/ProfileDialogsFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace qv {
namespace {

using test::readFile;
using test::writeFile;

class ProfileExchangeTest : public test::ProfileDialogsFixture {
protected:
    std::string docs(const std::string& name) const { return folder.path() + "docs/" + name; }
    // An exchange file exported from `sim` with roadVibration = road.
    std::string exchangeText(int sim, float road) const {
        EffectProfile p = HapticSettings().effectProfiles[sim];
        p.roadVibration = road;
        return profileJsonText(p, sim, "shared");
    }
};

TEST_F(ProfileExchangeTest, ExportProposesTheActiveNameAndWritesTheProfileFileByteForByte) {
    setSim(kLMU);
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kLMU].freqKerb = 61.5f; });
    files.choose(docs("mine.qvprofile"), true);
    ASSERT_TRUE(exportProfile(nullptr));
    ASSERT_EQ(files.requests.size(), 1u);
    const FileDialogRequest& request = files.requests[0];
    EXPECT_EQ(request.mode, FileDialogMode::kSave);
    EXPECT_EQ(request.proposedName, "default.qvprofile");
    EXPECT_EQ(request.filterName, "QV Profile (*.qvprofile)");
    EXPECT_EQ(request.filterPattern, "*.qvprofile");
    EXPECT_EQ(request.folder, folder.path() + "docs");
    ASSERT_TRUE(saveProfile(gSettings.snapshot(), folder.path(), kLMU, "default"));
    EXPECT_EQ(readFile(docs("mine.qvprofile")), readFile(profileFile(kLMU, "default")));
}

TEST_F(ProfileExchangeTest, ExportAddsTheExtensionAndAsksBeforeReplacingWhatTheDialogDidNotConfirm) {
    writeFile(docs("old.qvprofile"), "keep me");
    struct Case {
        std::string chosen;
        bool confirmed, answer, written;
        int questions;
    } cases[] = {
        {docs("fresh"), false, false, true, 0},           // becomes fresh.qvprofile, nothing there
        {docs("old"), false, false, false, 1},            // old.qvprofile exists: asked, declined
        {docs("old.qvprofile"), true, false, true, 0},    // the dialog asked already
        {docs("old.qvprofile"), false, true, true, 1},    // asked, agreed
    };
    for (const Case& c : cases) {
        writeFile(docs("old.qvprofile"), "keep me");
        boxes.shown.clear();
        boxes.answer = c.answer;
        files.choose(c.chosen, c.confirmed);
        EXPECT_EQ(exportProfile(nullptr), c.written) << c.chosen;
        EXPECT_EQ(boxes.questions(), c.questions) << c.chosen;
    }
    EXPECT_TRUE(std::filesystem::exists(docs("fresh.qvprofile")));
    EXPECT_FALSE(std::filesystem::exists(docs("fresh")));
}

TEST_F(ProfileExchangeTest, ExportFailuresAreReported) {
    files.choose(folder.path() + "missing-folder/x.qvprofile", true);
    EXPECT_FALSE(exportProfile(nullptr));
    EXPECT_NE(boxes.last().find("could not be exported"), std::string::npos) << boxes.last();
    files.cancel();
    boxes.shown.clear();
    EXPECT_FALSE(exportProfile(nullptr));
    EXPECT_TRUE(boxes.shown.empty()) << "a cancel says nothing";
}

TEST_F(ProfileExchangeTest, ImportNamesTheProfileAfterTheFileAndAppliesItToTheSelectedSimulator) {
    setSim(kLMU);
    writeFile(docs("my.v2.qvprofile"), exchangeText(kACC, 0.77f));
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kLMU].kerbRumble = 0.12f; });
    files.choose(docs("my.v2.qvprofile"));
    ASSERT_TRUE(importProfile(nullptr));
    EXPECT_EQ(files.requests.at(0).mode, FileDialogMode::kOpen);
    EXPECT_EQ(active(kLMU), "my.v2");
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kLMU].roadVibration, 0.77f);
    EXPECT_TRUE(std::filesystem::exists(profileFile(kLMU, "my.v2")));
    HapticSettings outgoing;
    ASSERT_TRUE(loadProfile(outgoing, folder.path(), kLMU, "default"));
    EXPECT_FLOAT_EQ(outgoing.effectProfiles[kLMU].kerbRumble, 0.12f) << "the outgoing profile was saved first";
}

TEST_F(ProfileExchangeTest, APartialFileChangesOnlyItsMembers) {
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].absLock = 0.31f; });
    const EffectProfile before = gSettings.snapshot().effectProfiles[kIRacing];
    writeFile(docs("part.qvprofile"), R"({"freqEngine": 55.0, "effectEnabled": [false]})");
    files.choose(docs("part.qvprofile"));
    ASSERT_TRUE(importProfile(nullptr));
    EffectProfile expected = before;
    expected.freqEngine = 55.0f;
    expected.effectEnabled[0] = 0;
    const EffectProfile now = gSettings.snapshot().effectProfiles[kIRacing];
    EXPECT_EQ(std::memcmp(&expected, &now, sizeof expected), 0);
}

TEST_F(ProfileExchangeTest, FailedImportsChangeNothing) {
    writeFile(docs("broken.qvprofile"), R"({"roadVibration": 0.9, "suspImpact": "x"})");
    writeFile(docs("huge.qvprofile"), std::string(kMaxImportBytes + 1, ' '));
    std::filesystem::create_directories(docs("folder.qvprofile"));
    writeFile(docs("...qvprofile"), exchangeText(kIRacing, 0.5f));  // names ".."
    writeFile(docs("list.qvprofile"), "[1,2,3]");
    writeFile(docs("text.qvprofile"), "road = 0.5\n");
    writeFile(docs("deep.qvprofile"), std::string(40000, '[') + std::string(40000, ']'));
    struct Case {
        std::string path;
        const char* message;
    } cases[] = {
        {docs("broken.qvprofile"), "Could not load profile \"broken\""},
        {docs("list.qvprofile"), "; nothing was changed.\n\nnot a profile file: it holds no JSON object"},
        {docs("text.qvprofile"), "; nothing was changed.\n\nnot a profile file: invalid JSON at line 1, column 1"},
        {docs("deep.qvprofile"), "not a profile file: JSON nested deeper than 16 levels at line 1, column 17"},
        {docs("huge.qvprofile"), "larger than 1 MiB"},
        {docs("folder.qvprofile"), "Could not load profile"},
        {docs("gone.qvprofile"), "Could not load profile"},
        {docs("...qvprofile"), "cannot be used as a profile name"},
    };
    const HapticSettings before = gSettings.snapshot();
    for (const Case& c : cases) {
        files.choose(c.path);
        EXPECT_FALSE(importProfile(nullptr)) << c.path;
        EXPECT_NE(boxes.last().find(c.message), std::string::npos) << c.path << ": " << boxes.last();
        EXPECT_EQ(boxes.last().find("json.exception"), std::string::npos) << boxes.last();
        EXPECT_TRUE(unchangedSince(before)) << c.path;
    }
    files.cancel();
    EXPECT_FALSE(importProfile(nullptr));
    EXPECT_TRUE(unchangedSince(before));
}

TEST_F(ProfileExchangeTest, ANameClashAsksAndALinkInThePlaceOfTheProfileIsRefused) {
    writeProfile(kIRacing, "friend", 0.2f);
    const std::string mine = readFile(profileFile(kIRacing, "friend"));
    writeFile(docs("friend.qvprofile"), exchangeText(kIRacing, 0.95f));
    files.choose(docs("friend.qvprofile"));
    boxes.answer = false;
    EXPECT_FALSE(importProfile(nullptr));
    EXPECT_EQ(boxes.questions(), 1);
    EXPECT_EQ(readFile(profileFile(kIRacing, "friend")), mine);
    EXPECT_EQ(active(kIRacing), "default");
    boxes.answer = true;
    EXPECT_TRUE(importProfile(nullptr));
    EXPECT_EQ(active(kIRacing), "friend");
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kIRacing].roadVibration, 0.95f);

    const std::string outside = folder.path() + "outside.json";
    writeFile(outside, "precious");
    std::filesystem::create_symlink(outside, profileFile(kIRacing, "linked"));
    writeFile(docs("linked.qvprofile"), exchangeText(kIRacing, 0.4f));
    files.choose(docs("linked.qvprofile"));
    EXPECT_FALSE(importProfile(nullptr));
    EXPECT_EQ(readFile(outside), "precious");
    EXPECT_EQ(active(kIRacing), "friend");
}

}  // namespace
}  // namespace qv
