#include "engines/AcPages.h"

#include "engines/ConnectSupport.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

int32_t intAt(const uint8_t* bytes, size_t size, size_t offset) {
    if (offset > size || size - offset < sizeof(int32_t))
        return 0;
    int32_t v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
}

}  // namespace

bool AcPages::open(size_t physicsSize, size_t graphicsSize) {
    close();
    m_error.clear();
    physicsSize = std::min(physicsSize, sizeof m_physicsCopy);
    graphicsSize = std::min(graphicsSize, sizeof m_graphicsCopy);
    if (!m_physics.open(acpages::kPhysicsPageName, physicsSize)) {
        m_error = openProblem(m_physics);
        return false;
    }
    if (!m_graphics.open(acpages::kGraphicsPageName, graphicsSize)) {
        m_error = openProblem(m_graphics);
        m_physics.close();
        return false;
    }
    m_physicsSize = physicsSize;
    m_graphicsSize = graphicsSize;
    std::memset(m_physicsCopy, 0, sizeof m_physicsCopy);
    std::memset(m_graphicsCopy, 0, sizeof m_graphicsCopy);
    return true;
}

void AcPages::close() {
    m_physics.close();
    m_graphics.close();
    m_physicsSize = 0;
    m_graphicsSize = 0;
}

bool AcPages::isUsable() const { return isOpen() && isPageUsable(m_physics) && isPageUsable(m_graphics); }

bool AcPages::readLivePacketId(int32_t& id) const {
    id = 0;
    if (!m_physics.isOpen() || m_physicsSize < acpages::kPacketIdOffset + sizeof id)
        return false;
    return m_physics.read(acpages::kPacketIdOffset, &id, sizeof id);
}

bool AcPages::takeCopy() {
    if (!isOpen())
        return false;
    // Only the mapped sizes are copied: the bytes beyond are none of ours.
    return m_physics.read(0, m_physicsCopy, m_physicsSize) && m_graphics.read(0, m_graphicsCopy, m_graphicsSize);
}

TelemetryReading AcPages::physicsFloat(size_t offset, double limit) const {
    if (offset > m_physicsSize || m_physicsSize - offset < sizeof(float))
        return {};
    float v;
    std::memcpy(&v, m_physicsCopy + offset, sizeof v);
    return readingOf(v, limit);
}

int32_t AcPages::physicsInt(size_t offset) const { return intAt(m_physicsCopy, m_physicsSize, offset); }

int32_t AcPages::graphicsInt(size_t offset) const { return intAt(m_graphicsCopy, m_graphicsSize, offset); }

}  // namespace qv
