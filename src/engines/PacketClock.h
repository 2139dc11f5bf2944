#pragma once
// The timing of an engine whose simulator numbers its packets: the time step
// between new packets, the time of the last packet since the connect, and
// the stall rule.
//
// Times come from the injected IClock in nanoseconds and are kept relative
// to the connect in double precision, so the effects that pulse with time
// (the ABS gate) keep their rate however long the machine has been up.
//
// The stall rule: a simulator that quits or pauses leaves its pages as they
// were, so the engine stays connected and sees no new packets. After more
// than kStallNs without one the engine delivers the idle frame once, so the
// shakers do not go on playing the last frame; the next packet starts over.

#include "platform/Clock.h"

#include <cstdint>

namespace qv {

class PacketClock {
public:
    static constexpr double kFirstStepSeconds = 0.008;
    static constexpr double kMinStepSeconds = 0.001;
    static constexpr double kMaxStepSeconds = 0.1;
    static constexpr uint64_t kStallNs = 500'000'000;

    explicit PacketClock(IClock& clock) : m_clock(&clock) {}

    // At connect: the next packet is the first, and the stall time runs from now.
    void start();
    // A new packet arrived now: its time step in seconds, 0.008 for the first
    // packet since start(), else the time since the previous packet limited
    // to [0.001, 0.1].
    float stepForNewPacket();

    // Seconds from start() to the last new packet.
    double packetSeconds() const { return m_packetSeconds; }

    // True when no stall frame was delivered since the last packet (or the
    // start) and more than kStallNs have passed since then.
    bool stallDue() const;
    void markStallDelivered() { m_stalled = true; }
    // True from a delivered stall frame until the next packet.
    bool isStalled() const { return m_stalled; }

private:
    IClock* m_clock;
    uint64_t m_startNs = 0;
    uint64_t m_lastPacketNs = 0;
    double m_packetSeconds = 0.0;
    bool m_firstPacket = true;
    bool m_stalled = false;
};

}  // namespace qv
