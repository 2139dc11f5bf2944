#include "platform/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
