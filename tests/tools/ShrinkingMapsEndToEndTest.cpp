// Another process cuts a simulator's files short and restores them in a tight
// loop while quorvane reads them: the program must neither die of a bus error
// nor hang, and must exit cleanly afterwards. qv-simfeed lays out real pages
// first (two moments of a drive, so the restored files keep bringing new
// samples); then it is killed, leaving its files, and this test takes over as
// the hostile writer. Each case has its own shared-memory and settings folders.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

constexpr int kPatienceMs = 60000;
constexpr auto kHostileFor = std::chrono::seconds(4);

struct SimCase {
    const char* feedName;
    int selectedSim;
    const char* connected;
};

void PrintTo(const SimCase& c, std::ostream* os) { *os << c.feedName; }

using Snapshot = std::map<std::string, std::string>;

size_t usedBytes(const std::string& text) {
    const size_t last = text.find_last_not_of('\0');
    return last == std::string::npos ? 0 : last + 1;
}

Snapshot snapshotOf(const std::string& folder) {
    Snapshot files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[entry.path().string()] = readFile(entry.path().string());
    }
    return files;
}

class ShrinkingMaps : public ::testing::TestWithParam<SimCase> {
protected:
    ShrinkingMaps() {
        std::filesystem::create_directories(shm());
        std::filesystem::create_directories(home.path() + "config/QuorVane");
        writeFile(home.path() + "config/QuorVane/haptic_config.ini",
                  "[Config]\nselectedSim=" + std::to_string(GetParam().selectedSim) + "\n");
    }
    ~ShrinkingMaps() override {
        feed.signal(SIGKILL);
        feed.wait(kPatienceMs);
        program.signal(SIGKILL);
        program.wait(kPatienceMs);
    }
    std::string shm() const { return home.path() + "shm/"; }
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()}, {"QUORVANE_SHM_DIR", shm()},
                {"DISPLAY", ""}};
    }

    TempDir home;
    ChildProcess feed;
    ChildProcess program;
};

TEST_P(ShrinkingMaps, TheProgramSurvivesFilesCutShortUnderItsReads) {
    const SimCase& sim = GetParam();
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", sim.feedName, "--script", "cruise"}, env(),
                           home.file("feed.txt")));
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env(), home.file("program.txt")));
    ASSERT_TRUE(program.waitForOutput(sim.connected, kPatienceMs)) << program.output() << program.errors();

    const Snapshot first = snapshotOf(shm());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Snapshot second = snapshotOf(shm());
    ASSERT_FALSE(first.empty());
    feed.signal(SIGKILL);  // its files stay where they are
    ASSERT_TRUE(feed.wait(kPatienceMs));

    // Each file alternates between its two moments (the first one again when
    // the size changed in between).
    struct Victim {
        int fd;
        const std::string* moments[2];
        size_t used[2];  // up to the last byte that is not zero
    };
    std::vector<Victim> victims;
    for (const auto& [path, contents] : first) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0) << path;
        const auto later = second.find(path);
        const bool same = later != second.end() && later->second.size() == contents.size();
        const std::string* moments[2] = {&contents, same ? &later->second : &contents};
        victims.push_back({fd, {moments[0], moments[1]}, {usedBytes(*moments[0]), usedBytes(*moments[1])}});
    }
    const auto end = std::chrono::steady_clock::now() + kHostileFor;
    long rounds = 0;
    while (std::chrono::steady_clock::now() < end && program.isRunning()) {
        const int moment = static_cast<int>(rounds++ & 1);
        for (const Victim& v : victims) {
            const std::string& text = *v.moments[moment];
            ASSERT_EQ(::ftruncate(v.fd, 0), 0);
            ASSERT_EQ(::ftruncate(v.fd, static_cast<off_t>(text.size())), 0);
            // Only up to the last byte that is not zero: the rest is zero
            // already, and short rounds cut the files more often.
            const size_t used = v.used[moment];
            ASSERT_EQ(::pwrite(v.fd, text.data(), used, 0), static_cast<ssize_t>(used));
        }
    }
    for (const Victim& v : victims)
        ::close(v.fd);

    ASSERT_TRUE(program.isRunning()) << "after " << rounds << " rounds: exit " << program.exitCode() << "\n"
                                     << program.errors();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs)) << "the program hangs";
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_NE(program.output().find("Exited cleanly."), std::string::npos) << program.output();
}

// A bridge re-creating Le Mans Ultimate's lock while the simulator runs: the
// record is cut to nothing and comes back at 8 bytes a millisecond later, the
// event's file the same, again and again. The feed and the program both take
// the lock all the while; neither may die of it.
TEST(ShrinkingLock, TheProgramSurvivesTheLockRecreatedUnderTheRunningFeed) {
    TempDir home;
    const std::string shm = home.path() + "shm/";
    std::filesystem::create_directories(shm);
    std::filesystem::create_directories(home.path() + "config/QuorVane");
    writeFile(home.path() + "config/QuorVane/haptic_config.ini", "[Config]\nselectedSim=2\n");
    const std::vector<std::pair<std::string, std::string>> env = {{"XDG_CONFIG_HOME", home.path() + "config"},
                                                                  {"HOME", home.path()},
                                                                  {"QUORVANE_SHM_DIR", shm},
                                                                  {"DISPLAY", ""}};
    ChildProcess feed;
    ChildProcess program;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", "lmu", "--script", "cruise"}, env, home.file("feed.txt")));
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env, home.file("program.txt")));
    ASSERT_TRUE(program.waitForOutput("[LMUHapticEngine] Connected to LMU shared memory", kPatienceMs))
        << program.output() << program.errors();

    struct Recreated {
        std::string path;
        off_t size;
    };
    const Recreated files[] = {{shm + "LMU_SharedMemoryLockData", 8},
                               {shm + "sem.LMU_SharedMemoryLockEvent", static_cast<off_t>(
                                                                            std::filesystem::file_size(
                                                                                shm + "sem.LMU_SharedMemoryLockEvent"))}};
    const auto end = std::chrono::steady_clock::now() + kHostileFor;
    long rounds = 0;
    while (std::chrono::steady_clock::now() < end && program.isRunning() && feed.isRunning()) {
        for (const Recreated& f : files) {
            ASSERT_EQ(::truncate(f.path.c_str(), 0), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_EQ(::truncate(f.path.c_str(), f.size), 0);
        }
        ++rounds;
    }
    const bool feedAlive = feed.isRunning();
    ASSERT_TRUE(program.isRunning()) << "after " << rounds << " rounds: exit " << program.exitCode() << "\n"
                                     << program.errors();
    EXPECT_TRUE(feedAlive) << "the feed takes the same lock: exit " << feed.exitCode() << "\n" << feed.errors();
    feed.signal(SIGINT);
    feed.wait(kPatienceMs);
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs)) << "the program hangs";
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
}

INSTANTIATE_TEST_SUITE_P(
    Simulators, ShrinkingMaps,
    ::testing::Values(SimCase{"iracing", 0, "[IRacingHapticEngine] Connected"},
                      SimCase{"acc", 1, "[ACCHapticEngine] Connected to ACC shared memory"},
                      SimCase{"lmu", 2, "[LMUHapticEngine] Connected to LMU shared memory"},
                      SimCase{"ac_evo", 3, "[ACEVOHapticEngine] Connected to AC EVO shared memory"},
                      SimCase{"ac", 4, "[ACHapticEngine] Connected to AC shared memory"}),
    [](const ::testing::TestParamInfo<SimCase>& info) { return std::string(info.param.feedName); });

}  // namespace
}  // namespace qv::test
