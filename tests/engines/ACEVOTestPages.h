#pragma once
// Writes AC EVO's physics and graphics pages into a test's own shared-memory
// folder, with the offsets of the published layout spelt out here (not taken
// from the engine's constants), so a wrong offset in the engine shows up.

#include "platform/SharedMemory.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace qv::test {

class ACEVOTestPages {
public:
    explicit ACEVOTestPages(const std::string& folder) : m_physics(folder), m_graphics(folder) {}

    bool create(size_t physicsSize = 800, size_t graphicsSize = 3936) {
        return m_physics.create("Local\\acevo_pmf_physics", physicsSize) &&
               m_graphics.create("Local\\acevo_pmf_graphics", graphicsSize);
    }
    void remove() {
        m_physics.removeFile();
        m_physics.close();
        m_graphics.removeFile();
        m_graphics.close();
    }

    template <typename T>
    void physics(size_t offset, T v) { std::memcpy(m_physics.writableData() + offset, &v, sizeof v); }
    template <typename T>
    void graphics(size_t offset, T v) { std::memcpy(m_graphics.writableData() + offset, &v, sizeof v); }

    // Live, on track, combustion engine running at 5000 of 8000 rpm, 108 km/h
    // in third (gear value 4), ABS switched on.
    void setOnTrackDefaults() {
        graphics<int32_t>(4, 2);      // status live
        graphics<int32_t>(1388, 3);   // on track
        graphics<int32_t>(2416, 0);   // combustion
        physics<int32_t>(16, 4);
        physics<int32_t>(20, 5000);
        physics<float>(28, 108.0f);
        physics<int32_t>(588, 8000);
        physics<int32_t>(780, 1);
        physics<float>(252, 0.5f);
    }
    void setTravel(int corner, float metres) { physics<float>(184 + 4 * static_cast<size_t>(corner), metres); }
    void setWheelSlip(int corner, float v) { physics<float>(56 + 4 * static_cast<size_t>(corner), v); }
    void setSlipRatio(int corner, float v) { physics<float>(640 + 4 * static_cast<size_t>(corner), v); }
    // A new physics step.
    void publish() { physics<int32_t>(0, ++m_packet); }
    int32_t packet() const { return m_packet; }

private:
    SharedMemoryMap m_physics;
    SharedMemoryMap m_graphics;
    int32_t m_packet = 0;
};

}  // namespace qv::test
