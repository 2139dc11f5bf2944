// The quorvane program with its settings folder: what a start writes, what
// the exit saves, and a hand-edited profile with a typo surviving a start.

#include "settings/ConfigIni.h"
#include "settings/HapticSettings.h"
#include "settings/ProfileFile.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>

namespace qv::test {
namespace {

class ProgramSettingsTest : public ::testing::Test {
protected:
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()},
                {"QUORVANE_SHM_DIR", home.path() + "shm"}};
    }
    std::string appData() const { return home.path() + "config/QuorVane/"; }
    std::string profile(int sim, const std::string& name) const {
        return appData() + "profiles/" + kSimKeys[sim] + "/" + name + ".json";
    }
    // Starts the program, waits for it to wait for the simulator, stops it with Ctrl+C.
    void runOnce(ChildProcess& program, const std::string& output) {
        ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env(), home.file(output)));
        ASSERT_TRUE(program.waitForOutput("Waiting for", 20000)) << program.output() << program.errors();
        program.signal(SIGINT);
        ASSERT_TRUE(program.wait(20000));
        EXPECT_EQ(program.exitCode(), 0) << program.errors();
    }
    TempDir home;
};

TEST_F(ProgramSettingsTest, AFirstRunWritesTheDefaultsAndKeepsHandEditsAcrossStarts) {
    {
        ChildProcess program;
        runOnce(program, "first.txt");
        EXPECT_EQ(program.errors().find("ERROR"), std::string::npos) << program.errors();
    }
    const HapticSettings defaults;
    EXPECT_EQ(readFile(appData() + "haptic_config.ini"), configIniText(defaults));
    for (int sim = 0; sim < kSimCount; ++sim)
        EXPECT_EQ(readFile(profile(sim, "default")), profileJsonText(defaults.effectProfiles[sim], sim, "default"));

    // The user edits the INI by hand and leaves a typo in a profile.
    std::string ini = configIniText(defaults);
    ini.replace(ini.find("masterGain=0.8"), 14, "masterGain=0.5");
    ini.replace(ini.find("activeProfile1=default"), 22, "activeProfile1=Endurance");
    ASSERT_TRUE(writeFile(appData() + "haptic_config.ini", ini));
    const std::string typo = "{ \"roadVibration\": 0.2, \"suspImpact\": \"0,4\" }";
    ASSERT_TRUE(writeFile(profile(kACC, "Endurance"), typo));
    {
        ChildProcess program;
        runOnce(program, "second.txt");
        EXPECT_NE(program.errors().find("ERROR: loading the settings: "), std::string::npos) << program.errors();
        EXPECT_NE(program.errors().find(profile(kACC, "Endurance")), std::string::npos) << program.errors();
    }
    EXPECT_EQ(readFile(profile(kACC, "Endurance") + ".bad"), typo) << "the user's text is kept";
    const std::string saved = readFile(appData() + "haptic_config.ini");
    EXPECT_NE(saved.find("\nmasterGain=0.5\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\nactiveProfile1=Endurance\n"), std::string::npos) << saved;
    HapticSettings back;
    EXPECT_TRUE(loadProfile(back, appData(), kACC, "Endurance")) << "the exit saved the profile whole";
    // What loaded before the bad member is kept; the rest stays at the defaults.
    EXPECT_EQ(back.effectProfiles[kACC].roadVibration, 0.2f);
    EXPECT_EQ(back.effectProfiles[kACC].suspImpact, defaults.effectProfiles[kACC].suspImpact);
}

}  // namespace
}  // namespace qv::test
