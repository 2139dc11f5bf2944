// The pieces the ACC and AC engines share: the packet clock and the velocity
// ring, at their exact boundaries.

#include "engines/AcPages.h"
#include "engines/PacketClock.h"
#include "engines/VelocityRing.h"
#include "platform/SharedMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace qv::test {
namespace {

// The simulator's page files may shrink between the usability check and the
// copy (the simulator going away): the copy then fails instead of ending the
// program with a bus error, and works again once the files are whole.
TEST(AcPagesCopy, PagesCutShortUnderTheCopyFailInsteadOfFaulting) {
    TempDir dir;
    SharedMemoryMap physics(dir.path());
    SharedMemoryMap graphics(dir.path());
    ASSERT_TRUE(physics.create("Local\\acpmf_physics", 8192));
    ASSERT_TRUE(graphics.create("Local\\acpmf_graphics", 8192));
    AcPages pages(dir.path());
    ASSERT_TRUE(pages.open(8192, 8192));
    int32_t id = -1;
    EXPECT_TRUE(pages.readLivePacketId(id));
    EXPECT_TRUE(pages.takeCopy());

    for (const char* file : {"acpmf_graphics", "acpmf_physics"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(::truncate((dir.path() + file).c_str(), 0), 0);
        EXPECT_FALSE(pages.takeCopy());
        if (std::string(file) == "acpmf_physics") {
            EXPECT_FALSE(pages.readLivePacketId(id));
        }
        ASSERT_EQ(::truncate((dir.path() + file).c_str(), 8192), 0);
        EXPECT_TRUE(pages.takeCopy());
    }
}

TEST(PacketClock, StepsStallAndPulseTime) {
    ManualClock clock(7'000'000'000ull);
    PacketClock packets(clock);
    packets.start();
    clock.advanceNs(300'000'000);
    EXPECT_FLOAT_EQ(packets.stepForNewPacket(), 0.008f);
    EXPECT_DOUBLE_EQ(packets.packetSeconds(), 0.3);
    clock.advanceNs(999'999);
    EXPECT_FLOAT_EQ(packets.stepForNewPacket(), 0.001f);
    clock.advanceNs(100'000'001);
    EXPECT_FLOAT_EQ(packets.stepForNewPacket(), 0.1f);
    clock.advanceNs(12'500'000);
    EXPECT_FLOAT_EQ(packets.stepForNewPacket(), 0.0125f);

    clock.advanceNs(500'000'000);
    EXPECT_FALSE(packets.stallDue());
    clock.advanceNs(1);
    EXPECT_TRUE(packets.stallDue());
    packets.markStallDelivered();
    EXPECT_TRUE(packets.isStalled());
    EXPECT_FALSE(packets.stallDue());
    packets.stepForNewPacket();
    EXPECT_FALSE(packets.isStalled());

    // start() begins a new connection: the first step again, time from zero.
    packets.start();
    EXPECT_FALSE(packets.isStalled());
    clock.advanceNs(1'000'000);
    EXPECT_FLOAT_EQ(packets.stepForNewPacket(), 0.008f);
    EXPECT_DOUBLE_EQ(packets.packetSeconds(), 0.001);
}

TEST(PacketClock, PulseTimeStaysExactFarFromTheClocksStart) {
    // 200 days of uptime: a single-precision count of seconds since boot
    // would step in whole seconds here.
    ManualClock clock(200ull * 86'400 * 1'000'000'000ull);
    PacketClock packets(clock);
    packets.start();
    clock.advanceNs(1'000'000'000ull / 28);
    packets.stepForNewPacket();
    EXPECT_NEAR(packets.packetSeconds(), 1.0 / 28.0, 1e-9);
}

TEST(VelocityRing, KerbLevelRules) {
    VelocityRing ring;
    const float fast[4] = {0.03f, -0.05f, 0.2f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        ring.push(fast);
        EXPECT_FALSE(ring.isFull());
        EXPECT_EQ(ring.kerbLevel(0, 0.03f, 0.15f), 0.0f);
    }
    ring.push(fast);
    ASSERT_TRUE(ring.isFull());
    EXPECT_EQ(ring.position(), 0);
    // A velocity exactly at the threshold counts; the sign does not matter.
    EXPECT_FLOAT_EQ(ring.kerbLevel(0, 0.03f, 0.15f), 0.03f / 0.15f);
    EXPECT_FLOAT_EQ(ring.kerbLevel(1, 0.03f, 0.15f), 0.05f / 0.15f);
    EXPECT_FLOAT_EQ(ring.kerbLevel(2, 0.03f, 0.15f), 1.0f);
    EXPECT_EQ(ring.kerbLevel(3, 0.03f, 0.15f), 0.0f);
    EXPECT_EQ(ring.kerbLevel(0, 0.045f, 0.2f), 0.0f);
    EXPECT_EQ(ring.kerbLevel(4, 0.03f, 0.15f), 0.0f);

    // Two slow pushes leave two fast values: silent. The largest of those
    // that qualify sets the level.
    const float slow[4] = {0.01f, 0.01f, 0.01f, 0.01f};
    ring.push(slow);
    EXPECT_FLOAT_EQ(ring.kerbLevel(0, 0.03f, 0.15f), 0.2f);
    ring.push(slow);
    EXPECT_EQ(ring.kerbLevel(0, 0.03f, 0.15f), 0.0f);
    const float mixed[4] = {0.1f, 0.0f, 0.0f, 0.0f};
    ring.push(mixed);
    ring.push(fast);
    EXPECT_FLOAT_EQ(ring.kerbLevel(0, 0.03f, 0.15f), 0.0f) << "0.01, 0.01, 0.1 and 0.03: two qualify";

    ring.reset();
    EXPECT_FALSE(ring.isFull());
    EXPECT_EQ(ring.position(), 0);
}

}  // namespace
}  // namespace qv::test
