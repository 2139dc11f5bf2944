#include "engines/SharedMemoryLock.h"

#include <atomic>

namespace qv {

namespace {

// Tells the processor we are spinning (lets a sibling hyper-thread run).
inline void pauseHint() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

std::atomic_ref<int32_t> atomicAt(int32_t* p) { return std::atomic_ref<int32_t>(*p); }

bool tryTake(int32_t* busy) {
    int32_t expected = 0;
    return atomicAt(busy).compare_exchange_strong(expected, 1);
}

}  // namespace

int32_t* SharedMemoryLock::field(size_t offset) const {
    uint8_t* base = m_record.writableData();
    if (!base || m_record.size() < kRecordSize)
        return nullptr;
    // The map starts on a page boundary, so both fields are 4-byte aligned.
    return reinterpret_cast<int32_t*>(base + offset);
}

bool SharedMemoryLock::open() {
    close();
    m_error.clear();
    if (!m_record.openOrCreate(kRecordName, kRecordSize)) {
        m_error = m_record.lastError();
        return false;
    }
    m_createdRecord = m_record.createdHere();
    if (!m_event.openOrCreate(kEventName)) {
        m_error = m_event.lastError();
        close();
        return false;
    }
    m_createdEvent = m_event.createdHere();
    return true;
}

void SharedMemoryLock::close() {
    if (m_event.isOpen()) {
        if (m_createdEvent)
            m_event.removeFile();
        m_event.close();
    }
    if (m_record.isOpen()) {
        if (m_createdRecord)
            m_record.removeFile();
        m_record.close();
    }
    m_createdRecord = false;
    m_createdEvent = false;
}

bool SharedMemoryLock::acquire(int timeoutMs) {
    int32_t* busy = field(kBusyOffset);
    int32_t* waiters = field(kWaitersOffset);
    if (!busy || !m_event.isOpen())
        return false;
    for (int i = 0; i < kSpinCount; ++i) {
        if (tryTake(busy))
            return true;
        pauseHint();
    }
    atomicAt(waiters).fetch_add(1);
    if (tryTake(busy)) {
        atomicAt(waiters).fetch_sub(1);
        return true;
    }
    for (;;) {
        if (!m_event.wait(timeoutMs)) {
            atomicAt(waiters).fetch_sub(1);
            return false;
        }
        if (tryTake(busy)) {
            atomicAt(waiters).fetch_sub(1);
            return true;
        }
        // Somebody else took it first: wait for the next release.
    }
}

void SharedMemoryLock::release() {
    int32_t* busy = field(kBusyOffset);
    if (!busy)
        return;
    atomicAt(busy).exchange(0);
    if (atomicAt(field(kWaitersOffset)).load() > 0)
        m_event.signal();
}

void SharedMemoryLock::forceRelease() {
    int32_t* busy = field(kBusyOffset);
    if (!busy)
        return;
    atomicAt(busy).exchange(0);
    m_event.signal();
}

int32_t SharedMemoryLock::busy() const {
    int32_t* p = field(kBusyOffset);
    return p ? atomicAt(p).load() : 0;
}

int32_t SharedMemoryLock::waiters() const {
    int32_t* p = field(kWaitersOffset);
    return p ? atomicAt(p).load() : 0;
}

}  // namespace qv
