// Le Mans Ultimate's lock between threads, each with its own mapping of the
// record as separate processes have: a sleeping waiter is woken by the
// release, the engine reads nothing while another thread holds the lock, and
// holders never overlap under contention.

#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "engines/SharedMemoryLock.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qv::test {
namespace {

TEST(LMULockThreads, AReleaseWakesTheWaiter) {
    TempDir dir;
    SharedMemoryLock holder(dir.path());
    SharedMemoryLock waiter(dir.path());
    ASSERT_TRUE(holder.open());
    ASSERT_TRUE(waiter.open());
    ASSERT_TRUE(holder.acquire(100));

    std::thread releaser([&] {
        // Release once the waiter has counted itself in (it is then asleep
        // on the event or about to be).
        while (holder.waiters() == 0)
            std::this_thread::yield();
        holder.release();
    });
    EXPECT_TRUE(waiter.acquire(30000));
    releaser.join();
    EXPECT_EQ(waiter.busy(), 1);
    EXPECT_EQ(waiter.waiters(), 0);
    waiter.release();
}

TEST(LMULockThreads, TheEngineReadsOnlyWhenTheOtherThreadLetsGo) {
    std::string ignored;
    OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
    TempDir dir;
    LMUTestMap map(dir.path());
    ASSERT_TRUE(map.create());
    map.setValidPlayer();
    map.setMotion(30.0, 3);
    map.setElapsed(2.0);
    ManualClock clock;
    LMUHapticEngine engine(dir.path(), &clock);
    ASSERT_TRUE(engine.connect());

    std::atomic<int> phase{0};
    std::thread simulator([&] {
        SharedMemoryLock lock(dir.path());
        if (!lock.open() || !lock.acquire(1000)) {
            phase = -1;
            return;
        }
        phase = 1;
        while (phase.load() != 2)
            std::this_thread::yield();
        lock.release();
        phase = 3;
    });
    while (phase.load() == 0)
        std::this_thread::yield();
    ASSERT_EQ(phase.load(), 1);
    EffectProfile fx;
    HapticFrame out;
    EXPECT_FALSE(engine.update(fx, out));
    EXPECT_FALSE(engine.update(fx, out));
    phase = 2;
    while (phase.load() != 3)
        std::this_thread::yield();
    simulator.join();
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.lastSampleMs(), 2000);
}

TEST(LMULockThreads, HoldersNeverOverlap) {
    TempDir dir;
    SharedMemoryLock creator(dir.path());
    ASSERT_TRUE(creator.open());
    std::atomic<int> inside{0};
    std::atomic<int> counter{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> failures{0};
    constexpr int kRounds = 3000;
    auto worker = [&] {
        SharedMemoryLock lock(dir.path());
        if (!lock.open()) {
            ++failures;
            return;
        }
        for (int i = 0; i < kRounds; ++i) {
            if (!lock.acquire(10000)) {
                ++failures;
                continue;
            }
            if (inside.exchange(1, std::memory_order_relaxed) != 0)
                ++overlaps;
            // A read and a write apart: a second holder would lose updates.
            const int seen = counter.load(std::memory_order_relaxed);
            std::this_thread::yield();
            counter.store(seen + 1, std::memory_order_relaxed);
            inside.store(0, std::memory_order_relaxed);
            lock.release();
        }
    };
    std::thread a(worker), b(worker), c(worker);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter.load(), 3 * kRounds);
    EXPECT_EQ(creator.busy(), 0);
    EXPECT_EQ(creator.waiters(), 0);
}

}  // namespace
}  // namespace qv::test
