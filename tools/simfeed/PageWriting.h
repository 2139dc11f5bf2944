#pragma once
// Writing a simulator's shared memory as the simulator does: plain stores
// for the values of a step, a release store for the field that names the
// step complete (a reader that sees it sees the whole step), and removal
// that leaves the last step in place for readers that still map it.

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qv::simfeed {

template <typename T>
void putAt(uint8_t* base, size_t offset, T value) {
    std::memcpy(base + offset, &value, sizeof value);
}

inline void putRelease(uint8_t* base, size_t offset, int32_t value) {
    std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(base + offset)).store(value, std::memory_order_release);
}

// Removes the file of a map the feed made and closes it; nothing when not open.
void removeMap(SharedMemoryMap& map);
// Closes an event, removing it when the feed created it; nothing when not open.
void releaseEvent(NamedEvent& event);

// The physics and graphics pages of the simulators that publish two pages
// (ACC, AC, AC EVO): made together, removed together.
class PagePair {
public:
    // folder: where the page files go ("" = the shared-memory folder).
    explicit PagePair(const std::string& folder) : m_physics(folder), m_graphics(folder) {}

    // Creates both pages, the physics page first. False leaves neither, and
    // `error` names the cause.
    bool create(const char* physicsName, size_t physicsSize, const char* graphicsName, size_t graphicsSize,
                std::string& error);
    // Removes both pages (removeMap), the graphics page first.
    void remove();

    bool isOpen() const { return m_physics.isOpen() && m_graphics.isOpen(); }
    uint8_t* physics() { return m_physics.writableData(); }
    uint8_t* graphics() { return m_graphics.writableData(); }
    const SharedMemoryMap& physicsMap() const { return m_physics; }
    const SharedMemoryMap& graphicsMap() const { return m_graphics; }

private:
    SharedMemoryMap m_physics;
    SharedMemoryMap m_graphics;
};

}  // namespace qv::simfeed
