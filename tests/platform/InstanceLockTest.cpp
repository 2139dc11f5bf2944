#include "platform/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <unistd.h>
#include <thread>

namespace qv {
namespace {

bool waitFor(const std::atomic<int>& value, int expected) {
    for (int i = 0; i < 500 && value.load() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return value.load() == expected;
}

TEST(InstanceLock, SecondInstanceOnTheSameFolderAsksTheFirstToComeForward) {
    const std::string name = test::uniqueName("QvLockTest");
    std::atomic<int> requests{0};
    InstanceLock first;
    first.setBringToFrontHandler([&] { ++requests; });
    ASSERT_EQ(first.acquire(name, "/tmp/some/folder/"), InstanceLock::Result::Acquired);

    InstanceLock second;
    EXPECT_EQ(second.acquire(name, "/tmp/some/folder/"), InstanceLock::Result::AlreadyRunning);
    EXPECT_FALSE(second.isHeld());
    EXPECT_TRUE(waitFor(requests, 1));

    // Released: the next start becomes the instance.
    first.release();
    InstanceLock third;
    EXPECT_EQ(third.acquire(name, "/tmp/some/folder/"), InstanceLock::Result::Acquired);
}

TEST(InstanceLock, DifferentFoldersDoNotCollide) {
    const std::string name = test::uniqueName("QvLockTest");
    InstanceLock a, b;
    EXPECT_EQ(a.acquire(name, "/tmp/config-a/"), InstanceLock::Result::Acquired);
    EXPECT_EQ(b.acquire(name, "/tmp/config-b/"), InstanceLock::Result::Acquired);
    EXPECT_NE(InstanceLock::socketName(name, "/tmp/config-a/"), InstanceLock::socketName(name, "/tmp/config-b/"));
}

// XDG_CONFIG_HOME may spell one folder many ways; they all name one instance.
TEST(InstanceLock, EverySpellingOfAFolderIsTheSameInstance) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() + "config/QuorVane");
    ASSERT_EQ(::symlink((dir.path() + "config").c_str(), (dir.path() + "link").c_str()), 0);
    const std::string name = test::uniqueName("QvLockTest");
    InstanceLock first;
    ASSERT_EQ(first.acquire(name, dir.path() + "config/QuorVane/"), InstanceLock::Result::Acquired);
    const std::string base = dir.path();  // ends in "/"
    for (const std::string& spelling :
         {base + "config/./QuorVane/", base + "config//QuorVane", base + "config/QuorVane/../QuorVane/",
          base + "./config/QuorVane", base + "link/QuorVane/", base.substr(0, base.size() - 1) + "//config/QuorVane"}) {
        InstanceLock second;
        EXPECT_EQ(second.acquire(name, spelling), InstanceLock::Result::AlreadyRunning) << spelling;
    }
    EXPECT_EQ(InstanceLock::socketName(name, "/nowhere/a/./b//"), InstanceLock::socketName(name, "/nowhere/a/b"));
}

TEST(InstanceLock, ASilentPeerDoesNotStopLaterRequests) {
    const std::string name = test::uniqueName("QvLockTest");
    std::atomic<int> requests{0};
    InstanceLock first;
    first.setBringToFrontHandler([&] { ++requests; });
    ASSERT_EQ(first.acquire(name, "/f/"), InstanceLock::Result::Acquired);
    // A client that connects and never speaks is dropped after a short wait.
    InstanceLock second;
    EXPECT_EQ(second.acquire(name, "/f/"), InstanceLock::Result::AlreadyRunning);
    EXPECT_EQ(second.acquire(name, "/f/"), InstanceLock::Result::AlreadyRunning);
    EXPECT_TRUE(waitFor(requests, 2));
}

}  // namespace
}  // namespace qv
