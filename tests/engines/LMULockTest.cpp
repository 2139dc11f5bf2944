// Le Mans Ultimate's cross-process lock: its record and event, a holder in
// another object or another process, and the recovery from a holder that was
// killed while it held the lock.

#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "engines/SharedMemoryLock.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <semaphore.h>
#include <unistd.h>

namespace qv::test {
namespace {

class LMULock : public ::testing::Test {
protected:
    LMULock() : map(dir.path()), engine(dir.path(), &clock) {}
    void SetUp() override {
        ASSERT_TRUE(map.create());
        map.setValidPlayer();
        map.setMotion(30.0, 3);
    }
    bool sampleAt(double elapsed) {
        map.setElapsed(elapsed);
        HapticFrame out;
        return engine.update(fx, out);
    }
    std::string file(const char* name) const { return dir.path() + name; }

    std::string printed;
    OutputCapture capture{[this](OutputStream, std::string_view t) { printed += t; }};
    TempDir dir;
    LMUTestMap map;
    ManualClock clock;
    LMUHapticEngine engine;
    EffectProfile fx;
};

TEST_F(LMULock, TheEngineCreatesAnAbsentLockAndRemovesItsOwn) {
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(std::filesystem::exists(file("LMU_SharedMemoryLockData")));
    EXPECT_EQ(std::filesystem::file_size(file("LMU_SharedMemoryLockData")), 8u);
    EXPECT_TRUE(std::filesystem::exists(file("sem.LMU_SharedMemoryLockEvent")));
    EXPECT_TRUE(engine.lock().createdRecord());
    EXPECT_EQ(engine.lock().busy(), 0);
    EXPECT_TRUE(sampleAt(1.0));
    EXPECT_EQ(engine.lock().busy(), 0) << "released after the copy";

    engine.disconnect();
    EXPECT_FALSE(std::filesystem::exists(file("LMU_SharedMemoryLockData")));
    EXPECT_FALSE(std::filesystem::exists(file("sem.LMU_SharedMemoryLockEvent")));
}

TEST_F(LMULock, ALockTheSimulatorMadeStaysAfterDisconnect) {
    SharedMemoryLock simulator(dir.path());
    ASSERT_TRUE(simulator.open());
    EXPECT_TRUE(simulator.createdRecord());
    ASSERT_TRUE(engine.connect());
    EXPECT_FALSE(engine.lock().createdRecord());
    EXPECT_FALSE(engine.lock().createdEvent());
    engine.disconnect();
    EXPECT_TRUE(std::filesystem::exists(file("LMU_SharedMemoryLockData")));
    EXPECT_TRUE(std::filesystem::exists(file("sem.LMU_SharedMemoryLockEvent")));
    simulator.close();
    EXPECT_FALSE(std::filesystem::exists(file("LMU_SharedMemoryLockData")));
}

TEST_F(LMULock, AnUnusableRecordRefusesTheConnection) {
    {
        SharedMemoryMap tiny(dir.path());
        ASSERT_TRUE(tiny.create("LMU_SharedMemoryLockData", 4));
    }
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_NE(engine.lastError().find("the shared-memory lock: open "), std::string::npos) << engine.lastError();
    EXPECT_NE(printed.find("[LMUHapticEngine] ERROR: the shared-memory lock"), std::string::npos) << printed;
}

TEST_F(LMULock, WhileAnotherHolderHasItUpdateReadsNothing) {
    ASSERT_TRUE(engine.connect());
    SharedMemoryLock other(dir.path());
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(other.acquire(100));
    EXPECT_EQ(other.busy(), 1);

    map.setElapsed(1.0);
    HapticFrame out;
    for (int i = 1; i <= 60; ++i)
        EXPECT_FALSE(engine.update(fx, out)) << i;
    EXPECT_EQ(other.waiters(), 0) << "a timed-out waiter counts itself out";
    ASSERT_TRUE(engine.update(fx, out)) << "the 61st tick";
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_EQ(engine.lastSampleMs(), -1) << "nothing was read";

    other.release();
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.lastSampleMs(), 1000);
    EXPECT_EQ(printed.find("busy"), std::string::npos) << "the clock never moved: not abandoned";
}

TEST_F(LMULock, AFailureStreakEndsWithTheNextSuccess) {
    ASSERT_TRUE(engine.connect());
    SharedMemoryLock other(dir.path());
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(other.acquire(100));
    EXPECT_FALSE(sampleAt(1.0));
    clock.advanceMs(1500);
    EXPECT_FALSE(sampleAt(1.0));
    other.release();
    EXPECT_TRUE(sampleAt(1.0));
    ASSERT_TRUE(other.acquire(100));
    clock.advanceMs(600);  // 2.1 s after the first failure, 0.6 s into the new streak
    EXPECT_FALSE(sampleAt(1.1));
    clock.advanceMs(1999);
    EXPECT_FALSE(sampleAt(1.1));
    EXPECT_EQ(other.busy(), 1);
    clock.advanceMs(1);
    EXPECT_TRUE(sampleAt(1.1)) << "2 s of failing: reset";
    ASSERT_NE(printed.find("busy for"), std::string::npos);
    EXPECT_EQ(printed.find("busy for"), printed.rfind("busy for")) << "logged once";
}

TEST_F(LMULock, AHolderThatWasKilledIsTakenForDeadAfterTwoSeconds) {
    ASSERT_TRUE(engine.connect());
    ChildProcess holder;
    ASSERT_TRUE(holder.start({QV_LOCK_HOLDER_PATH, dir.path()}, {}, dir.path() + "holder.txt"));
    ASSERT_TRUE(holder.waitForOutput("held\n", 30000)) << holder.errors();
    holder.signal(SIGKILL);
    ASSERT_TRUE(holder.wait(30000));
    EXPECT_EQ(holder.exitCode(), 128 + SIGKILL);
    EXPECT_EQ(engine.lock().busy(), 1) << "the record outlives its holder";

    EXPECT_FALSE(sampleAt(1.0));
    clock.advanceMs(1000);
    EXPECT_FALSE(sampleAt(1.0));
    clock.advanceMs(999);
    EXPECT_FALSE(sampleAt(1.0));
    EXPECT_EQ(printed.find("busy for"), std::string::npos);
    clock.advanceMs(1);
    EXPECT_TRUE(sampleAt(1.0));
    EXPECT_NE(printed.find("[LMUHapticEngine] The shared-memory lock has been busy for 2000 ms; taking its holder "
                           "for dead and resetting it\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(engine.lock().busy(), 0);
    EXPECT_TRUE(sampleAt(1.01)) << "the lock works again";
}

TEST(SharedMemoryLockBasics, AcquireReleaseAndForceRelease) {
    TempDir dir;
    SharedMemoryLock closed(dir.path());
    EXPECT_FALSE(closed.acquire(10));
    closed.release();
    closed.forceRelease();
    EXPECT_EQ(closed.busy(), 0);

    SharedMemoryLock a(dir.path());
    SharedMemoryLock b(dir.path());
    ASSERT_TRUE(a.open());
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(a.acquire(10));
    EXPECT_FALSE(b.acquire(10));
    EXPECT_EQ(b.waiters(), 0);
    a.release();
    ASSERT_TRUE(b.acquire(10));
    EXPECT_FALSE(a.acquire(10));
    a.forceRelease();
    EXPECT_EQ(b.busy(), 0);
    EXPECT_TRUE(a.acquire(10));
    a.release();
    a.close();
    a.close();
    EXPECT_FALSE(a.isOpen());
    EXPECT_TRUE(b.isOpen()) << "the names stay while b lives, then go with its creator";
}

// A bridge re-creating the lock cuts its record to nothing and brings it back
// a moment later; the event's file may shrink the same way while the lock is
// busy. Either is the simulator going away: the engine stops reading, never
// touches the short files, and connects again once they are whole.
TEST_F(LMULock, ARecordOrEventCutShortWhileHeldEndsTheConnectionNotTheProgram) {
    const std::string record = file("LMU_SharedMemoryLockData");
    const std::string event = file("sem.LMU_SharedMemoryLockEvent");
    struct Case {
        const char* what;
        std::string path;
        size_t restoredSize;
    };
    for (const Case& c : {Case{"record", record, 8}, Case{"event", event, sizeof(sem_t)}}) {
        SCOPED_TRACE(c.what);
        SharedMemoryLock simulator(dir.path());
        ASSERT_TRUE(simulator.open());
        ASSERT_TRUE(engine.connect());
        ASSERT_TRUE(sampleAt(1.0));
        ASSERT_TRUE(simulator.acquire(100));  // the lock is busy ...

        ASSERT_EQ(::truncate(c.path.c_str(), 0), 0);  // ... when the file is cut
        map.setElapsed(1.1);
        HapticFrame out;
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(engine.update(fx, out));
        EXPECT_FALSE(engine.isConnected());
        EXPECT_FALSE(simulator.acquire(1)) << "a short record or event is not used";

        ASSERT_EQ(::truncate(c.path.c_str(), static_cast<off_t>(c.restoredSize)), 0);  // re-created, zeroed
        simulator.release();
        ASSERT_TRUE(engine.connect());
        EXPECT_TRUE(sampleAt(1.2));
        engine.disconnect();
    }
}

}  // namespace
}  // namespace qv::test
