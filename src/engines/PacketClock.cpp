#include "engines/PacketClock.h"

#include <algorithm>

namespace qv {

void PacketClock::start() {
    m_startNs = m_clock->nowNs();
    m_lastPacketNs = m_startNs;
    m_packetSeconds = 0.0;
    m_firstPacket = true;
    m_stalled = false;
}

float PacketClock::stepForNewPacket() {
    const uint64_t now = m_clock->nowNs();
    double dt = kFirstStepSeconds;
    if (!m_firstPacket) {
        // A clock that went backwards counts as the shortest step.
        const double elapsed = now >= m_lastPacketNs ? static_cast<double>(now - m_lastPacketNs) * 1e-9 : 0.0;
        dt = std::clamp(elapsed, kMinStepSeconds, kMaxStepSeconds);
    }
    m_firstPacket = false;
    m_lastPacketNs = now;
    m_packetSeconds = now >= m_startNs ? static_cast<double>(now - m_startNs) * 1e-9 : 0.0;
    m_stalled = false;
    return static_cast<float>(dt);
}

bool PacketClock::stallDue() const {
    if (m_stalled)
        return false;
    const uint64_t now = m_clock->nowNs();
    return now > m_lastPacketNs && now - m_lastPacketNs > kStallNs;
}

}  // namespace qv
