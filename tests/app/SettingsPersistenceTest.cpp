// Settings edited in the live block reach the files through the run loop and
// the saver thread, and come back after a restart and after a kill -9 in the
// middle of saving.

#include "app/AppGlobals.h"
#include "app/AppRuntime.h"
#include "app/FileSettingsStore.h"
#include "app/SettingsSaver.h"
#include "platform/Output.h"
#include "settings/ConfigIni.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsFiles.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FakeEngine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <csignal>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::test {
namespace {

class SettingsPersistenceTest : public ::testing::Test {
protected:
    SettingsPersistenceTest() {
        resetAppGlobals();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        telemetry.running = true;
    }
    ~SettingsPersistenceTest() override {
        resetAppGlobals();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
    }

    // A fresh start of the program on the same folder: a default block, a
    // new store and runtime, start-up and the first connect.
    std::unique_ptr<AppRuntime> start() {
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
        resetAppGlobals();
        store = std::make_unique<FileSettingsStore>(dir.path());
        AppEnvironment env;
        env.clock = &clock;
        env.console = &console;
        env.makeEngine = [this](int sim) -> std::unique_ptr<ISimHapticEngine> {
            return std::make_unique<FakeEngine>(&telemetry, "sim" + std::to_string(sim));
        };
        env.store = store.get();
        env.appDataDir = dir.path();
        auto runtime = std::make_unique<AppRuntime>(std::move(env));
        runtime->startUp();
        EXPECT_TRUE(runtime->connectWait());
        return runtime;
    }

    void passes(AppRuntime& runtime, int count) {
        for (int i = 0; i < count; ++i)
            runtime.runPass();
    }

    std::string ini() const { return dir.path() + kConfigFileName; }

    TempDir dir;
    ManualClock clock;
    RecordingConsole console{true};
    FakeTelemetry telemetry;
    std::unique_ptr<FileSettingsStore> store;
};

TEST_F(SettingsPersistenceTest, DirtyEditsAreSavedByTheRunLoopAndSurviveARestart) {
    auto runtime = start();
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().savesDone(), 0) << "start-up saves nothing by itself";
    EXPECT_FALSE(pathExists(ini()));

    // The GUI edits and raises the dirty flag; the audio initialisation records its device.
    gSettings.edit([](HapticSettings& s) {
        s.masterGain = 0.5f;
        s.zones[5].active = 1;
        copyText(s.zones[5].name, "Seat");
        s.effectProfiles[kACC].kerbRumble = 0.25f;
        copyText(s.activeProfile[kLMU], "Night race");
        s.effectProfiles[kLMU].routeGain[2][5] = 0.75f;
    });
    gSettings.edit([](HapticSettings& s) {
        s.audioDeviceIndex = 3;
        copyText(s.devices[0].name, "USB Audio");
    });
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().savesDone(), 1);
    EXPECT_EQ(readFile(ini()), configIniText(gSettings.snapshot()));
    EXPECT_TRUE(pathExists(dir.path() + "profiles/lmu/Night race.json"));

    // A later edit within the same second waits for the next save.
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.6f; });
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().savesDone(), 1);
    passes(*runtime, 130);
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().savesDone(), 2);
    EXPECT_NE(readFile(ini()).find("masterGain=0.6\n"), std::string::npos);
    EXPECT_EQ(runtime->saver().failures(), 0);

    // An edit the loop has not saved yet is caught by the final save.
    gSettings.edit([](HapticSettings& s) { s.guiDensity = 2; });
    gRunning = 0;
    runtime->shutdown(true);
    runtime.reset();

    runtime = start();
    const HapticSettings back = gSettings.snapshot();
    EXPECT_EQ(back.masterGain, 0.6f);
    EXPECT_EQ(back.guiDensity, 2);
    EXPECT_EQ(back.audioDeviceIndex, 3);
    EXPECT_STREQ(back.devices[0].name, "USB Audio");
    EXPECT_STREQ(back.zones[5].name, "Seat");
    EXPECT_EQ(back.zones[5].active, 1);
    EXPECT_EQ(back.effectProfiles[kACC].kerbRumble, 0.25f);
    EXPECT_STREQ(back.activeProfile[kLMU], "Night race");
    EXPECT_EQ(back.effectProfiles[kLMU].routeGain[2][5], 0.75f);
    EXPECT_FALSE(gSettings.isDirty()) << "loading is no edit";
    gRunning = 0;
    runtime->shutdown(true);
}

TEST_F(SettingsPersistenceTest, AFailingSaveIsReportedAndRetriedByTheNextSave) {
    std::mutex errorsLock;
    std::string errors;
    OutputCapture capture([&](OutputStream stream, std::string_view text) {
        std::lock_guard<std::mutex> lock(errorsLock);
        if (stream == OutputStream::StandardError)
            errors.append(text);
    });
    auto failuresPrinted = [&] {
        std::lock_guard<std::mutex> lock(errorsLock);
        int count = 0;
        for (size_t at = errors.find("ERROR: saving the settings failed: "); at != std::string::npos;
             at = errors.find("ERROR: saving the settings failed: ", at + 1))
            ++count;
        return count;
    };

    auto runtime = start();
    // The LMU profile folder becomes a file: that profile cannot be written.
    const std::string lmu = dir.path() + "profiles/lmu";
    std::filesystem::remove_all(lmu);
    ASSERT_TRUE(writeFile(lmu, "in the way"));
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.3f; });
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().failures(), 1);
    EXPECT_EQ(failuresPrinted(), 1);
    EXPECT_NE(store->lastError().find("lmu profile"), std::string::npos) << store->lastError();
    EXPECT_NE(readFile(ini()).find("masterGain=0.3\n"), std::string::npos) << "the other files are still saved";

    std::filesystem::remove(lmu);
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.4f; });
    passes(*runtime, 130);
    runtime->saver().waitIdle();
    EXPECT_EQ(runtime->saver().failures(), 1);
    EXPECT_TRUE(pathExists(lmu + "/default.json"));

    // The save at exit reports its failure as well.
    std::filesystem::remove_all(lmu);
    ASSERT_TRUE(writeFile(lmu, "in the way"));
    gRunning = 0;
    runtime->shutdown(true);
    EXPECT_EQ(runtime->saver().failures(), 2);
    EXPECT_EQ(failuresPrinted(), 2);
}

// A small disk of the test's own: a 1 MiB tmpfs mounted over a folder
// (root only; unmounted at the end), which fill() fills to the last block.
class SmallDisk {
public:
    explicit SmallDisk(std::string folder) : m_folder(std::move(folder)) {
        std::filesystem::create_directories(m_folder);
        m_mounted = ::mount("qv-test-disk", m_folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0755") == 0;
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }
    // Writes a file until the disk has no block left.
    bool fill() {
        const int fd = ::open((m_folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const std::vector<char> block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }
    void free() { std::filesystem::remove(m_folder + "/filler"); }

private:
    std::string m_folder;
    bool m_mounted = false;
};

TEST_F(SettingsPersistenceTest, ASaveThatFailsOnAFullDiskIsRetriedAndLandsSoonAfterTheDiskHasRoom) {
    SmallDisk disk(dir.path() + "disk");
    // Without the right to mount, a folder made read-only stands in for the
    // full disk (root writes into read-only folders, so it needs the disk).
    if (!disk.isMounted() && ::geteuid() == 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string folder = dir.path() + "disk/QuorVane/";
    std::filesystem::create_directories(folder);
    std::mutex printedLock;
    std::string printed;
    OutputCapture capture([&](OutputStream, std::string_view text) {
        std::lock_guard<std::mutex> lock(printedLock);
        printed.append(text);
    });
    auto count = [&](const std::string& text) {
        std::lock_guard<std::mutex> lock(printedLock);
        int n = 0;
        for (size_t at = printed.find(text); at != std::string::npos; at = printed.find(text, at + 1))
            ++n;
        return n;
    };
    FileSettingsStore files(folder);
    SettingsSaver saver(&files);
    saver.requestSave();
    saver.waitIdle();
    ASSERT_EQ(saver.failures(), 0);
    const std::string iniPath = folder + kConfigFileName;
    const std::string before = readFile(iniPath);

    if (disk.isMounted())
        ASSERT_TRUE(disk.fill());
    else
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.3f; });
    saver.requestSave();
    saver.waitIdle();
    EXPECT_GE(saver.failures(), 1);
    EXPECT_TRUE(saver.isRetrying());
    EXPECT_EQ(readFile(iniPath), before) << "the old file stays whole";
    EXPECT_EQ(count("ERROR: saving the settings failed: "), 1);

    // Room again: the retry writes the edit within a few seconds, without
    // another edit or an exit, and says so once.
    if (disk.isMounted())
        disk.free();
    else
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_TRUE(eventually([&] { return readFile(iniPath).find("masterGain=0.3\n") != std::string::npos; }, 10000));
    EXPECT_TRUE(eventually([&] { return !saver.isRetrying(); }, 10000));
    EXPECT_EQ(count("  The settings are saved now, after "), 1) << printed;
    EXPECT_EQ(count("ERROR: saving the settings failed: "), 1) << "the same failure is printed once";
}

// The last "saved <k>" line of the child's output, or -1.
int lastSaved(const std::string& output) {
    std::istringstream lines(output);
    std::string word;
    int value = -1;
    int k = 0;
    while (lines >> word >> k) {
        if (word == "saved")
            value = k;
    }
    return value;
}

TEST_F(SettingsPersistenceTest, SettingsSurviveKillsInTheMiddleOfSaving) {
    const std::string folder = dir.path() + "app/";
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> delayUs(0, 40000);
    int saved = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ChildProcess child;
        const std::string out = dir.file("child" + std::to_string(round) + ".txt");
        ASSERT_TRUE(child.start({QV_SETTINGS_EDIT_CHILD, folder}, {}, out));
        ASSERT_TRUE(child.waitForOutput("saved", 60000)) << child.output() << child.errors();
        // Somewhere in the following rounds of edits and saves.
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        child.signal(SIGKILL);
        ASSERT_TRUE(child.wait(20000));
        EXPECT_EQ(child.exitCode(), 128 + SIGKILL) << child.errors();
        EXPECT_EQ(child.errors().find("ERROR"), std::string::npos) << child.errors();

        const int k = lastSaved(child.output());
        ASSERT_GE(k, saved) << "each start continues from the files";
        saved = k;

        // Every file is whole and loads; nothing reported was lost.
        const std::string iniText = readFile(folder + kConfigFileName);
        EXPECT_NE(iniText.find("\nactiveProfile5=default\n"), std::string::npos) << iniText;
        HapticSettings s;
        std::string error;
        EXPECT_TRUE(loadConfigWithBackup(s, folder + kConfigFileName, folder, &error)) << error;
        EXPECT_GE(s.devices[0].bufferSize, 1000 + saved);
        EXPECT_GE(s.effectProfiles[kACC].freqEngine * 10.0f + 0.5f, static_cast<float>(1000 + saved));
        EXPECT_TRUE(enumerateProfiles(folder, kACC) == std::vector<std::string>{"default"});
    }
    EXPECT_GT(saved, 0);
}

}  // namespace
}  // namespace qv::test
