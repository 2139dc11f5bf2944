#include "app/OnlineWorkers.h"

#include <chrono>

namespace qv {

void WorkerCounter::begin() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_running;
}

void WorkerCounter::end() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_running == 0)
        m_idle.notify_all();
}

bool WorkerCounter::waitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_running == 0; });
}

int WorkerCounter::running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

WorkerCounter& onlineWorkers() {
    // Never destroyed: detached workers may still call end() while the
    // process exits.
    static WorkerCounter* counter = new WorkerCounter;
    return *counter;
}

}  // namespace qv
