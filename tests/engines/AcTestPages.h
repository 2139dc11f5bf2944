#pragma once
// Writes the ACC/AC physics and graphics pages into a test's own
// shared-memory folder, with the offsets of the published layout spelt out
// here (not taken from the engines' constants), so a wrong offset in an
// engine shows up.

#include "platform/SharedMemory.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace qv::test {

class AcTestPages {
public:
    // The sizes the two engines map.
    static constexpr size_t kAccPhysics = 580, kAccGraphics = 1320;
    static constexpr size_t kAcPhysics = 368, kAcGraphics = 252;

    explicit AcTestPages(const std::string& folder) : m_folder(folder), m_physics(folder), m_graphics(folder) {}

    // Creates both pages zero-filled (sizes default to what either engine reads).
    bool create(size_t physicsSize = kAccPhysics, size_t graphicsSize = kAccGraphics);
    bool createPhysicsOnly(size_t physicsSize = kAccPhysics);
    // Removes both page files (the maps stay valid for whoever holds them).
    void remove();
    const std::string& folder() const { return m_folder; }
    uint8_t* physics() { return m_physics.writableData(); }
    uint8_t* graphics() { return m_graphics.writableData(); }

    void putInt(uint8_t* page, size_t offset, int32_t v) { std::memcpy(page + offset, &v, sizeof v); }
    void putFloat(uint8_t* page, size_t offset, float v) { std::memcpy(page + offset, &v, sizeof v); }

    // Physics fields (each wheel LF, RF, LR, RR).
    void setThrottle(float v) { putFloat(physics(), 4, v); }
    void setBrake(float v) { putFloat(physics(), 8, v); }
    void setGear(int32_t published) { putInt(physics(), 16, published); }
    void setRpm(int32_t v) { putInt(physics(), 20, v); }
    void setSpeedKmh(float v) { putFloat(physics(), 28, v); }
    void setAccelG(float first) { putFloat(physics(), 44, first); }
    void setWheelSlip(int wheel, float v) { putFloat(physics(), 56 + 4 * static_cast<size_t>(wheel), v); }
    void setAngularSpeed(int wheel, float v) { putFloat(physics(), 104 + 4 * static_cast<size_t>(wheel), v); }
    void setTravel(int wheel, float v) { putFloat(physics(), 184 + 4 * static_cast<size_t>(wheel), v); }
    void setAllWheelSlip(float v) { for (int w = 0; w < 4; ++w) setWheelSlip(w, v); }
    void setAllAngularSpeed(float v) { for (int w = 0; w < 4; ++w) setAngularSpeed(w, v); }
    void setAllTravel(float v) { for (int w = 0; w < 4; ++w) setTravel(w, v); }
    // Graphics fields.
    void setStatus(int32_t v) { putInt(graphics(), 4, v); }
    void setInPit(bool v) { putInt(graphics(), 160, v ? 1 : 0); }

    // On track and live at 108 km/h in 4th (published 5), 6000 rpm, wheels
    // rolling at 0.33 m, a little slip, travel 0.05 m.
    void setOnTrackDefaults();
    // The next packet id, written last.
    void publish();
    void setPacketId(int32_t id) { putInt(physics(), 0, id); }
    int32_t packetId() const { return m_packet; }

private:
    std::string m_folder;
    SharedMemoryMap m_physics;
    SharedMemoryMap m_graphics;
    int32_t m_packet = 0;
};

}  // namespace qv::test
