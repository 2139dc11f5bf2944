// The quorvane program with its settings folder: what a start writes, what
// the exit saves, and a hand-edited profile with a typo surviving a start.

#include "settings/ConfigIni.h"
#include "settings/HapticSettings.h"
#include "settings/ProfileFile.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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

// A pipe planted at the log's name once froze the start-up in the open; the
// program now refuses it with a warning, starts, exits cleanly and leaves the
// pipe as it was. A pipe at the INI's name is left alone the same way.
TEST_F(ProgramSettingsTest, PipesAtTheLogsAndSettingsNamesNeitherFreezeNorGetReplaced) {
    std::filesystem::create_directories(appData());
    ASSERT_EQ(::mkfifo((appData() + "watchdog.log").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((appData() + "haptic_config.ini").c_str(), 0600), 0);
    ChildProcess program;
    runOnce(program, "pipes.txt");
    EXPECT_NE(program.errors().find("  WARNING: the watchdog log is not kept: open " + appData() +
                                    "watchdog.log: not a regular file"),
              std::string::npos)
        << program.errors();
    EXPECT_NE(program.errors().find("haptic_config.ini: not a regular file (it was left as it is and will not be "
                                    "written)"),
              std::string::npos)
        << program.errors();
    for (const char* name : {"watchdog.log", "haptic_config.ini"}) {
        struct stat st{};
        ASSERT_EQ(::lstat((appData() + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
    }
}

// Files the program's user cannot read, or that are too large to be settings,
// must not be replaced by defaults at exit: each is moved aside to "<name>.bad" with the user's text in it. The
// program runs as an unprivileged user, since root reads any file.
TEST_F(ProgramSettingsTest, UnreadableSettingsSurviveAStartAndAnExit) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    std::filesystem::create_directories(appData() + "profiles/acc");
    std::string ini = configIniText(HapticSettings());
    ini.replace(ini.find("masterGain=0.8"), 14, "masterGain=0.5");
    const std::string tuned = "{\"kerbRumble\": 0.123}";
    // Readable, but larger than any settings file: the reader refuses it.
    const std::string oversized = "{\"kerbRumble\": 0.123, \"notes\": \"" + std::string(2 << 20, 'x') + "\"}";
    ASSERT_TRUE(writeFile(appData() + "haptic_config.ini", ini));
    ASSERT_TRUE(writeFile(profile(kACC, "default"), tuned));
    std::filesystem::create_directories(appData() + "profiles/lmu");
    ASSERT_TRUE(writeFile(profile(kLMU, "default"), oversized));
    ASSERT_EQ(::chmod((appData() + "haptic_config.ini").c_str(), 0), 0);
    ASSERT_EQ(::chmod(profile(kACC, "default").c_str(), 0), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path()))
        ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
    ASSERT_EQ(::chown(home.path().c_str(), kNobody, kNobody), 0);

    ChildProcess program;
    ASSERT_TRUE(program.start({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", QV_QUORVANE_PATH}, env(),
                              home.file("run.txt")));
    if (!program.waitForOutput("Waiting for", 20000)) {
        program.signal(SIGKILL);
        program.wait(20000);
        GTEST_SKIP() << "the program cannot run as an unprivileged user here: " << program.errors();
    }
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_NE(program.errors().find("haptic_config.ini: Permission denied (the file was moved aside to " + appData() +
                                    "haptic_config.ini.bad)"),
              std::string::npos)
        << program.errors();

    EXPECT_EQ(readFile(appData() + "haptic_config.ini.bad"), ini) << "the user's INI is kept";
    EXPECT_EQ(readFile(profile(kACC, "default") + ".bad"), tuned) << "the user's profile is kept";
    EXPECT_EQ(readFile(profile(kLMU, "default") + ".bad"), oversized) << "the oversized profile is kept";
    EXPECT_NE(readFile(appData() + "haptic_config.ini").find("masterGain=0.8"), std::string::npos)
        << "a fresh file took the name";
}

}  // namespace
}  // namespace qv::test
