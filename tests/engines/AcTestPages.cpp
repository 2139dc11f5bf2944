#include "engines/AcTestPages.h"

namespace qv::test {

bool AcTestPages::create(size_t physicsSize, size_t graphicsSize) {
    return m_physics.create("Local\\acpmf_physics", physicsSize) &&
           m_graphics.create("Local\\acpmf_graphics", graphicsSize);
}

bool AcTestPages::createPhysicsOnly(size_t physicsSize) { return m_physics.create("acpmf_physics", physicsSize); }

void AcTestPages::remove() {
    m_physics.removeFile();
    m_graphics.removeFile();
}

void AcTestPages::setOnTrackDefaults() {
    setStatus(2);
    setInPit(false);
    setThrottle(0.5f);
    setBrake(0.0f);
    setGear(5);
    setRpm(6000);
    setSpeedKmh(108.0f);
    setAccelG(0.2f);
    setAllWheelSlip(0.1f);
    setAllAngularSpeed(30.0f / 0.33f);
    setAllTravel(0.05f);
}

void AcTestPages::publish() { setPacketId(++m_packet); }

}  // namespace qv::test
