#include "simfeed/PageWriting.h"

namespace qv::simfeed {

void removeMap(SharedMemoryMap& map) {
    if (!map.isOpen())
        return;
    map.removeFile();
    map.close();
}

void releaseEvent(NamedEvent& event) {
    if (!event.isOpen())
        return;
    if (event.createdHere())
        event.removeFile();
    event.close();
}

bool PagePair::create(const char* physicsName, size_t physicsSize, const char* graphicsName, size_t graphicsSize,
                      std::string& error) {
    if (!m_physics.create(physicsName, physicsSize)) {
        error = m_physics.lastError();
        return false;
    }
    if (!m_graphics.create(graphicsName, graphicsSize)) {
        error = m_graphics.lastError();
        removeMap(m_physics);
        return false;
    }
    return true;
}

void PagePair::remove() {
    removeMap(m_graphics);
    removeMap(m_physics);
}

}  // namespace qv::simfeed
