#pragma once
// One running instance per configuration.
//
// The lock is an abstract Unix socket named after the lock name, the user id
// and the application data folder, so separate configurations (such as tests
// running in parallel) never collide, and the kernel releases it when the
// process ends, however it ends. A second instance connects to the first,
// sends a bring-to-front request and is told to exit.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace qv {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, AlreadyRunning, Failed };

    // Tries to become the instance for (name, folder). AlreadyRunning means
    // another process holds it; the bring-to-front request has then been
    // sent. Failed means the socket could not be made (lastError()).
    Result acquire(const std::string& name, const std::string& folder);

    // Called on a thread of the lock's own whenever a second instance asks
    // for the first to come to the front. Set before acquire().
    void setBringToFrontHandler(std::function<void()> handler) { m_handler = std::move(handler); }

    void release();
    bool isHeld() const { return m_fd >= 0; }
    const std::string& lastError() const { return m_error; }

    // The abstract socket name used for (name, folder), without the leading NUL.
    static std::string socketName(const std::string& name, const std::string& folder);

private:
    void serve();

    int m_fd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
    std::function<void()> m_handler;
    std::string m_error;
};

}  // namespace qv
