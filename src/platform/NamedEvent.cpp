#include "platform/NamedEvent.h"

#include "platform/MappedFault.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <semaphore.h>

namespace qv {

namespace {

sem_t* semaphoreOf(const SharedMemoryMap& map) {
    return map.isOpen() && map.size() >= sizeof(sem_t) ? reinterpret_cast<sem_t*>(map.writableData()) : nullptr;
}

}  // namespace

std::string NamedEvent::semFileName(std::string_view eventName) {
    const std::string file = sharedMemoryFileName(eventName);
    return file.empty() ? std::string() : "sem." + file;
}

bool NamedEvent::open(std::string_view eventName) {
    m_error.clear();
    const std::string file = semFileName(eventName);
    if (file.empty()) {
        m_map.close();
        m_error = "event: the name \"" + std::string(eventName) + "\" cannot name a file";
        return false;
    }
    return m_map.open(file, sizeof(sem_t), ShmAccess::ReadWrite);
}

bool NamedEvent::openOrCreate(std::string_view eventName) {
    m_error.clear();
    const std::string file = semFileName(eventName);
    if (file.empty()) {
        m_map.close();
        m_error = "event: the name \"" + std::string(eventName) + "\" cannot name a file";
        return false;
    }
    if (!m_map.openOrCreate(file, sizeof(sem_t)))
        return false;
    if (m_map.createdHere()) {
        // A new file is all zero bytes, which glibc reads as a process-shared
        // semaphore of count 0; sem_init makes that explicit for any libc.
        // The file is already visible to others, who may cut it short.
        sem_t* sem = semaphoreOf(m_map);
        int result = -1;
        int code = 0;
        const bool touched = runGuarded([&] {
            result = ::sem_init(sem, 1, 0);
            code = errno;
        });
        if (!touched || result != 0) {
            m_error = "sem_init " + m_map.path() + ": " + (touched ? std::strerror(code) : "the event's file shrank");
            m_map.removeFile();
            m_map.close();
            return false;
        }
    }
    return true;
}

bool NamedEvent::signal() {
    sem_t* sem = semaphoreOf(m_map);
    if (!sem || !m_map.isWhole())
        return false;
    // The semaphore lives in a file another process may shrink at any moment:
    // it is only touched under the bus-error guard.
    int posted = 0;
    int code = 0;
    const bool touched = runGuarded([&] {
        int value = 0;
        if (::sem_getvalue(sem, &value) == 0 && value > 0)
            return;
        posted = ::sem_post(sem) == 0 ? 1 : -1;
        code = errno;
    });
    if (!touched) {
        m_error = "sem_post " + m_map.path() + ": the event's file shrank";
        return false;
    }
    if (posted < 0) {
        m_error = std::string("sem_post ") + m_map.path() + ": " + std::strerror(code);
        return false;
    }
    return true;
}

bool NamedEvent::wait(int timeoutMs) {
    sem_t* sem = semaphoreOf(m_map);
    if (!sem || !m_map.isWhole())
        return false;
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    const long long ms = timeoutMs < 0 ? 0 : timeoutMs;
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>((ms % 1000) * 1000000);
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    int result = 0;
    int code = 0;
    const bool touched = runGuarded([&] {
        do {
            result = ::sem_clockwait(sem, CLOCK_MONOTONIC, &deadline);
            code = errno;
        } while (result != 0 && code == EINTR);
    });
    if (!touched) {
        m_error = "sem_clockwait " + m_map.path() + ": the event's file shrank";
        return false;
    }
    if (result == 0)
        return true;
    if (code != ETIMEDOUT)
        m_error = std::string("sem_clockwait ") + m_map.path() + ": " + std::strerror(code);
    return false;
}

}  // namespace qv
