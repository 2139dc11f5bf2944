#pragma once
// Counts the detached workers of the online services (update check, usage
// reports), so shutdown and tests can wait for them a bounded time. Nothing
// else waits for a worker.

#include <condition_variable>
#include <mutex>

namespace qv {

class WorkerCounter {
public:
    void begin();
    // Called by the worker as the last thing it does.
    void end();
    // Waits up to timeoutMs for no worker to run; true when none runs.
    bool waitIdle(int timeoutMs);
    int running() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_running = 0;
};

WorkerCounter& onlineWorkers();

}  // namespace qv
