#pragma once
// Named events of the simulators, as POSIX semaphores shared between
// processes.
//
// The event "Local\NAME" is a process-shared sem_t in the file "sem.NAME" of
// the shared-memory folder (see SharedMemory.h). That is where and how glibc's
// sem_open keeps the named semaphore "/NAME" in /dev/shm, so in the default
// folder both are the same semaphore; a test folder keeps the names apart.
//
// The events behave as auto-reset events: signal() posts only while the count
// is 0, so signals do not pile up, and a successful wait() consumes the
// signal.
//
// Not thread-safe as an object; the semaphore itself may be used by any
// number of processes and threads at once.

#include "platform/SharedMemory.h"

#include <string>
#include <string_view>

namespace qv {

class NamedEvent {
public:
    // folder: as for SharedMemoryMap; empty means sharedMemoryFolder().
    explicit NamedEvent(std::string folder = {}) : m_map(std::move(folder)) {}
    ~NamedEvent() { close(); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Opens an existing event; false (nothing open) when there is none.
    bool open(std::string_view eventName);
    // Opens the event, creating it unsignalled when absent (createdHere()).
    bool openOrCreate(std::string_view eventName);
    void close() { m_map.close(); }
    // Removes the event's name (it lives on for those who still hold it).
    bool removeFile() { return m_map.removeFile(); }

    bool isOpen() const { return m_map.isOpen(); }
    // Open and its file still as long as the semaphore, even when its name
    // is gone (one fstat).
    bool isWhole() const { return m_map.isWhole(); }
    bool createdHere() const { return m_map.createdHere(); }

    // Sets the event: posts when nobody has been released since the last
    // signal. False when not open or the post failed.
    bool signal();
    // Waits up to timeoutMs on the monotonic clock for the event and resets
    // it; false on time-out, when not open, or on failure.
    bool wait(int timeoutMs);

    const std::string& lastError() const { return m_error.empty() ? m_map.lastError() : m_error; }

private:
    static std::string semFileName(std::string_view eventName);

    SharedMemoryMap m_map;
    std::string m_error;
};

}  // namespace qv
