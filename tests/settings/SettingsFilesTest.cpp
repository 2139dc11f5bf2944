#include "settings/SettingsFiles.h"

#include "settings/ConfigIni.h"
#include "settings/HeldFiles.h"
#include "settings/ProfileFile.h"

#include "SettingsTestHelpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

using test::TempDir;

class SettingsFilesTest : public testing::Test {
protected:
    std::string ini() const { return dir.file("haptic_config.ini"); }
    std::string backup() const { return ini() + ".bak"; }
    std::string profile(int sim, const std::string& name) const {
        return dir.path() + "profiles/" + kSimKeys[sim] + "/" + name + ".json";
    }
    // An INI text naming a device, or none.
    static std::string iniText(const char* deviceName, float masterGain) {
        HapticSettings s;
        copyText(s.devices[0].name, deviceName);
        s.masterGain = masterGain;
        return configIniText(s);
    }
    bool load(HapticSettings& s, std::string* error = nullptr) {
        return loadConfigWithBackup(s, ini(), dir.path(), error);
    }

    TempDir dir;
};

TEST_F(SettingsFilesTest, FirstStartWritesTheSixDefaultProfilesOnly) {
    HapticSettings s;
    std::string error;
    EXPECT_TRUE(load(s, &error)) << error;
    for (int sim = 0; sim < kSimCount; ++sim)
        EXPECT_EQ(test::readFile(profile(sim, "default")),
                  profileJsonText(HapticSettings().effectProfiles[sim], sim, "default"));
    EXPECT_FALSE(pathExists(ini()));
}

TEST_F(SettingsFilesTest, BackupNamingADeviceReplacesAMissingMainFile) {
    ASSERT_TRUE(test::writeFile(backup(), iniText("Backup Card", 0.4f)));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    EXPECT_STREQ(s.devices[0].name, "Backup Card");
    EXPECT_EQ(s.masterGain, 0.4f);
    EXPECT_EQ(test::readFile(ini()), configIniText(s));
    EXPECT_EQ(test::readFile(backup()), iniText("Backup Card", 0.4f));  // never written
}

TEST_F(SettingsFilesTest, BackupNamingADeviceIsTakenWholeWhenTheMainFileNamesNone) {
    ASSERT_TRUE(test::writeFile(ini(), iniText("", 0.3f)));
    ASSERT_TRUE(test::writeFile(backup(), "[HapticEngine]\naudioDeviceIndex=2\n[Config]\nzone0_name=LF\n"));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    EXPECT_EQ(s.audioDeviceIndex, 2);
    EXPECT_EQ(s.masterGain, 0.8f);  // the main file's values are discarded
    EXPECT_EQ(test::readFile(ini()), configIniText(s));
}

TEST_F(SettingsFilesTest, BackupNamingNoDeviceDoesNotDiscardTheMainFile) {
    ASSERT_TRUE(test::writeFile(ini(), iniText("", 0.3f)));
    ASSERT_TRUE(test::writeFile(backup(), iniText("", 0.6f)));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    EXPECT_EQ(s.masterGain, 0.3f);
    EXPECT_EQ(test::readFile(ini()), iniText("", 0.3f));
}

TEST_F(SettingsFilesTest, MainFileNamingADeviceIgnoresTheBackup) {
    ASSERT_TRUE(test::writeFile(ini(), iniText("Main Card", 0.3f)));
    ASSERT_TRUE(test::writeFile(backup(), iniText("Backup Card", 0.6f)));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    EXPECT_STREQ(s.devices[0].name, "Main Card");
    EXPECT_EQ(s.masterGain, 0.3f);
}

TEST_F(SettingsFilesTest, AProfileThatFailsToLoadIsMovedAsideBeforeAnySave) {
    HapticSettings first;
    ASSERT_TRUE(load(first));
    const std::string typo = "{\n  \"roadVibration\": 0.3,\n  \"suspImpact\": 0.5x\n}\n";
    const std::string partial = "{\"roadVibration\": 0.25, \"kerbRumble\": \"strong\"}";
    ASSERT_TRUE(test::writeFile(profile(kIRacing, "default"), typo));
    ASSERT_TRUE(test::writeFile(profile(kACC, "default"), partial));

    HapticSettings s;
    std::string error;
    EXPECT_FALSE(load(s, &error));
    EXPECT_NE(error.find(profile(kIRacing, "default") + ".bad"), std::string::npos) << error;
    EXPECT_NE(error.find("kerbRumble"), std::string::npos) << error;
    EXPECT_FALSE(pathExists(profile(kIRacing, "default")));
    EXPECT_EQ(test::readFile(profile(kIRacing, "default") + ".bad"), typo);
    EXPECT_EQ(test::readFile(profile(kACC, "default") + ".bad"), partial);
    // The partly failed load keeps what it applied before the bad member.
    EXPECT_EQ(s.effectProfiles[kACC].roadVibration, 0.25f);
    EXPECT_EQ(s.effectProfiles[kACC].kerbRumble, HapticSettings().effectProfiles[kACC].kerbRumble);
    EXPECT_TRUE(test::sameBits(s.effectProfiles[kIRacing], HapticSettings().effectProfiles[kIRacing]));
    // The next save writes fresh files beside the kept ones.
    EXPECT_TRUE(saveAllSettings(s, ini(), dir.path()));
    EXPECT_TRUE(pathExists(profile(kIRacing, "default")));
    EXPECT_EQ(test::readFile(profile(kIRacing, "default") + ".bad"), typo);
}

// Whatever made a settings file fail to load (too large for the reader,
// broken JSON), its text survives a start and the saves after it: moved aside
// to "<name>.bad", or ".bad.1" when an older copy is already there.
TEST_F(SettingsFilesTest, SettingsThatFailToLoadSurviveTheSavesThatFollow) {
    ASSERT_TRUE(profilesFolder(dir.path()));
    const std::string oversizedIni = "[Config]\nmasterGain=0.3\n;" + std::string(kMaxSettingsFileBytes, 'x') + "\n";
    const std::string oversizedProfile =
        "{\"kerbRumble\": 0.123, \"name\": \"" + std::string(kMaxSettingsFileBytes, 'x') + "\"}";
    struct Case {
        const char* what;
        std::string path;
        std::string text;
        bool olderCopy;
    };
    const Case cases[] = {
        {"oversized INI", ini(), oversizedIni, false},
        {"oversized INI, older copy", ini(), oversizedIni, true},
        {"oversized profile", profile(kLMU, "default"), oversizedProfile, false},
        {"broken profile, older copy", profile(kAC, "default"), "{\"kerbRumble\": 0.123,", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink((c.path + ".bad").c_str());
        ::unlink((c.path + ".bad.1").c_str());
        ASSERT_TRUE(test::writeFile(c.path, c.text));
        if (c.olderCopy) {
            ASSERT_TRUE(test::writeFile(c.path + ".bad", "older"));
        }
        HapticSettings s;
        std::string error;
        EXPECT_FALSE(load(s, &error));
        const std::string kept = c.path + (c.olderCopy ? ".bad.1" : ".bad");
        EXPECT_NE(error.find("(the file was moved aside to " + kept + ")"), std::string::npos) << error;
        EXPECT_TRUE(saveAllSettings(s, ini(), dir.path()));
        EXPECT_EQ(test::readFile(kept), c.text);
        if (c.olderCopy) {
            EXPECT_EQ(test::readFile(c.path + ".bad"), "older");
        }
        EXPECT_NE(test::readFile(c.path), c.text) << "a fresh file took the name";
    }
}

// A pipe or a link to one at a settings name, and a broken file that cannot
// be moved aside (every ".bad" name taken), are left exactly as they are:
// reported once at start-up, never written.
TEST_F(SettingsFilesTest, SettingsFilesThatCannotBeMovedAsideAreNeverWritten) {
    ASSERT_TRUE(profilesFolder(dir.path()));
    ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("elsewhere").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), profile(kACC, "default").c_str()), 0);
    const std::string broken = "{\"kerbRumble\": 0.123,";
    ASSERT_TRUE(test::writeFile(profile(kLMU, "default"), broken));
    ASSERT_TRUE(test::writeFile(profile(kLMU, "default") + ".bad", "older"));
    for (int n = 1; n < 100; ++n)
        ASSERT_TRUE(test::writeFile(profile(kLMU, "default") + ".bad." + std::to_string(n), "older"));

    HapticSettings s;
    std::string error;
    EXPECT_FALSE(load(s, &error));
    EXPECT_NE(error.find(ini() + ": not a regular file (it was left as it is and will not be written)"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("(it could not be moved aside: rename " + profile(kLMU, "default")), std::string::npos)
        << error;
    EXPECT_TRUE(isHeldFromWriting(ini()));

    std::string saveError;
    EXPECT_TRUE(saveAllSettings(s, ini(), dir.path(), &saveError)) << saveError;
    // No other writer gets through either.
    EXPECT_FALSE(writeConfigIni(s, ini(), &saveError));
    EXPECT_EQ(saveError, heldFileError(ini()));
    EXPECT_FALSE(saveProfile(s, dir.path(), kLMU, "default", &saveError));
    EXPECT_EQ(saveError, "write " + profile(kLMU, "default") +
                             ": the file failed to load and was kept as it is; it is not written");
    struct stat st{};
    ASSERT_EQ(::lstat(ini().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::lstat(profile(kACC, "default").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(profile(kACC, "default").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(test::readFile(profile(kLMU, "default")), broken);
}

// A save killed half-way leaves "<name>.tmp-XXXXXX"; the next start removes
// those, and only those.
TEST_F(SettingsFilesTest, TemporaryFilesOfAKilledSaveAreRemovedAtTheNextStart) {
    ASSERT_TRUE(profilesFolder(dir.path()));
    const std::string leftovers[] = {ini() + ".tmp-a1B2c3", profile(kACC, "default") + ".tmp-XyZ123"};
    const std::string others[] = {dir.file("notes.tmp-1"), dir.file("my.tmp-profile.json"), dir.file("x.tmp-abcdefg")};
    for (const std::string& path : leftovers)
        ASSERT_TRUE(test::writeFile(path, "half"));
    for (const std::string& path : others)
        ASSERT_TRUE(test::writeFile(path, "mine"));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    for (const std::string& path : leftovers)
        EXPECT_FALSE(pathExists(path)) << path;
    for (const std::string& path : others)
        EXPECT_TRUE(pathExists(path)) << path;
}

TEST_F(SettingsFilesTest, ActiveProfilesComeFromTheIniAndInvalidOnesFallBack) {
    HapticSettings tuned;
    tuned.effectProfiles[kLMU].absLock = 0.125f;
    ASSERT_TRUE(saveProfile(tuned, dir.path(), kLMU, "Rain"));
    ASSERT_TRUE(test::writeFile(ini(), "[Config]\nzone0_name=LF\nactiveProfile2=Rain\nactiveProfile3=../../x\n"));
    HapticSettings s;
    EXPECT_TRUE(load(s));
    EXPECT_STREQ(s.activeProfile[kLMU], "Rain");
    EXPECT_EQ(s.effectProfiles[kLMU].absLock, 0.125f);
    EXPECT_STREQ(s.activeProfile[kACEVO], "default");
    EXPECT_TRUE(pathExists(profile(kACEVO, "default")));
}

TEST_F(SettingsFilesTest, SaveAllThenLoadGivesTheSameSettings) {
    HapticSettings s;
    s.numDevices = 2;
    copyText(s.devices[0].name, "Card A");
    copyText(s.devices[1].name, "Card B");
    s.audioDeviceIndex = 4;
    s.masterGain = 0.5f;
    s.zones[6].active = 1;
    s.selectedSim = kAC;
    copyText(s.activeProfile[kAC], "Drift");
    s.effectProfiles[kAC].freqEngine = 81.25f;
    s.effectProfiles[kRF2].routeGain[3][6] = 0.75f;
    std::string error;
    ASSERT_TRUE(saveAllSettings(s, ini(), dir.path(), &error)) << error;

    HapticSettings back;
    ASSERT_TRUE(load(back, &error)) << error;
    EXPECT_EQ(configIniText(back), configIniText(s));
    for (int sim = 0; sim < kSimCount; ++sim)
        EXPECT_TRUE(test::sameBits(back.effectProfiles[sim], s.effectProfiles[sim])) << kSimKeys[sim];
}

TEST_F(SettingsFilesTest, SaveAllReportsEveryFailureAndSavesTheRest) {
    ASSERT_TRUE(profilesFolder(dir.path()));
    // The acc profile folder is replaced by a file: that one profile cannot be saved.
    ASSERT_EQ(::rmdir((dir.path() + "profiles/acc").c_str()), 0);
    ASSERT_TRUE(test::writeFile(dir.path() + "profiles/acc", "in the way"));
    HapticSettings s;
    s.masterGain = 0.5f;
    copyText(s.activeProfile[kAC], "bad/name");
    std::string error;
    EXPECT_FALSE(saveAllSettings(s, ini(), dir.path(), &error));
    EXPECT_NE(error.find("acc profile \"default\""), std::string::npos) << error;
    EXPECT_NE(error.find("ac profile \"bad/name\""), std::string::npos) << error;
    EXPECT_EQ(test::readFile(ini()), configIniText(s));
    EXPECT_TRUE(pathExists(profile(kIRacing, "default")));
    EXPECT_TRUE(pathExists(profile(kRF2, "default")));
}

}  // namespace
}  // namespace qv
