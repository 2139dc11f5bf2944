#include "settings/SettingsFiles.h"

#include "settings/ConfigIni.h"
#include "settings/ProfileFile.h"

#include "SettingsTestHelpers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

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

TEST_F(SettingsFilesTest, AProfileThatFailsToLoadIsKeptNotOverwritten) {
    HapticSettings first;
    ASSERT_TRUE(load(first));
    const std::string typo = "{\n  \"roadVibration\": 0.3,\n  \"suspImpact\": 0.5x\n}\n";
    const std::string partial = "{\"roadVibration\": 0.25, \"kerbRumble\": \"strong\"}";
    ASSERT_TRUE(test::writeFile(profile(kIRacing, "default"), typo));
    ASSERT_TRUE(test::writeFile(profile(kACC, "default"), partial));

    HapticSettings s;
    std::string error;
    EXPECT_FALSE(load(s, &error));
    EXPECT_NE(error.find(profile(kIRacing, "default")), std::string::npos) << error;
    EXPECT_NE(error.find("kerbRumble"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(profile(kIRacing, "default")), typo);
    EXPECT_EQ(test::readFile(profile(kACC, "default")), partial);
    EXPECT_EQ(test::readFile(profile(kIRacing, "default") + ".bad"), typo);
    EXPECT_EQ(test::readFile(profile(kACC, "default") + ".bad"), partial);
    // The partly failed load keeps what it applied before the bad member.
    EXPECT_EQ(s.effectProfiles[kACC].roadVibration, 0.25f);
    EXPECT_EQ(s.effectProfiles[kACC].kerbRumble, HapticSettings().effectProfiles[kACC].kerbRumble);
    EXPECT_TRUE(test::sameBits(s.effectProfiles[kIRacing], HapticSettings().effectProfiles[kIRacing]));
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
    // Names that Save-As and older versions wrote, blank or dot at an end.
    copyText(s.activeProfile[kLMU], "My Setup ");
    copyText(s.activeProfile[kACC], ".v2.");
    s.effectProfiles[kAC].freqEngine = 81.25f;
    s.effectProfiles[kLMU].absLock = 0.375f;
    s.effectProfiles[kRF2].routeGain[3][6] = 0.75f;
    std::string error;
    ASSERT_TRUE(saveAllSettings(s, ini(), dir.path(), &error)) << error;

    HapticSettings back;
    ASSERT_TRUE(load(back, &error)) << error;
    EXPECT_EQ(configIniText(back), configIniText(s));
    for (int sim = 0; sim < kSimCount; ++sim)
        EXPECT_TRUE(test::sameBits(back.effectProfiles[sim], s.effectProfiles[sim])) << kSimKeys[sim];
    EXPECT_STREQ(back.activeProfile[kLMU], "My Setup ");
    EXPECT_STREQ(back.activeProfile[kACC], ".v2.");
    EXPECT_EQ(enumerateProfiles(dir.path(), kLMU), (std::vector<std::string>{"My Setup "}));
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
