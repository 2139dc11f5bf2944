#include "engines/AcPages.h"

#include "engines/ConnectSupport.h"
#include "engines/TelemetryValues.h"

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

int32_t AcPages::livePacketId() const {
    if (!m_physics.isOpen())
        return 0;
    return intAt(m_physics.data(), m_physicsSize, acpages::kPacketIdOffset);
}

void AcPages::takeCopy() {
    if (!isOpen())
        return;
    // Only the mapped sizes are copied: the bytes beyond are none of ours.
    std::memcpy(m_physicsCopy, m_physics.data(), m_physicsSize);
    std::memcpy(m_graphicsCopy, m_graphics.data(), m_graphicsSize);
}

float AcPages::physicsFloat(size_t offset) const {
    if (offset > m_physicsSize || m_physicsSize - offset < sizeof(float))
        return 0.0f;
    float v;
    std::memcpy(&v, m_physicsCopy + offset, sizeof v);
    return limitTelemetry(v);
}

int32_t AcPages::physicsInt(size_t offset) const { return intAt(m_physicsCopy, m_physicsSize, offset); }

int32_t AcPages::graphicsInt(size_t offset) const { return intAt(m_graphicsCopy, m_graphicsSize, offset); }

}  // namespace qv
