#pragma once
// The physics and graphics pages of ACC and AC (AcPagesLayout.h), mapped
// read-only, with a private copy of both taken for each new sample.
//
// The pages are untrusted: open() refuses pages shorter than the caller
// maps, the copy is what every value comes from, and a float read is there
// only when it is finite and within the caller's limit of what a car can do
// (TelemetryValues.h); else it is missing and reads 0, so everything computed
// from the pages stays finite.
//
// Like the simulators' own pages, the maps stay usable after the simulator
// quits: a page file that is gone from its name is still whole and readable,
// so the engine stays connected and only sees no new packets. A page that
// shrank (reading it would fault) or was replaced by a newer file (the
// simulator started again) is no longer usable, and the engine reconnects.
//
// Not thread-safe; belongs to the engine on the main thread.

#include "engines/AcPagesLayout.h"
#include "engines/TelemetryValues.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <string>

namespace qv {

class AcPages {
public:
    // shmFolder: where the page files live ("" = sharedMemoryFolder()).
    explicit AcPages(const std::string& shmFolder) : m_physics(shmFolder), m_graphics(shmFolder) {}

    // Maps the physics page, then the graphics page, each of at least the
    // given size. False leaves nothing open; lastError() is then empty when
    // a page simply does not exist (the simulator is not running), else it
    // names the page and the cause.
    bool open(size_t physicsSize, size_t graphicsSize);
    void close();

    bool isOpen() const { return m_physics.isOpen() && m_graphics.isOpen(); }
    // Open, and both pages still safe to read and still the simulator's
    // current ones. Three system calls per page; cheap enough for each tick.
    bool isUsable() const;

    // The packet id as the simulator last wrote it (read live, not from the
    // copy). False when the page is closed or its file shrank under the read.
    bool readLivePacketId(int32_t& id) const;
    // Copies both pages whole; the readers below read this copy. False when a
    // page's file shrank under the copy (the copy is then not to be used).
    bool takeCopy();

    // Values of the copy; 0 outside the mapped size. A float is missing
    // outside the mapped size, when it is not finite or when it is beyond
    // `limit` in magnitude (a carLimits value).
    TelemetryReading physicsFloat(size_t offset, double limit) const;
    int32_t physicsInt(size_t offset) const;
    int32_t graphicsInt(size_t offset) const;

    const std::string& lastError() const { return m_error; }

private:
    SharedMemoryMap m_physics;
    SharedMemoryMap m_graphics;
    size_t m_physicsSize = 0;
    size_t m_graphicsSize = 0;
    uint8_t m_physicsCopy[acpages::kMaxPhysicsSize] = {};
    uint8_t m_graphicsCopy[acpages::kMaxGraphicsSize] = {};
    std::string m_error;
};

}  // namespace qv
