#include "engines/SharedMemoryLock.h"

#include "platform/MappedFault.h"

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
    if (!busy || !m_event.isOpen() || !m_record.isWhole())
        return false;
    bool taken = false;
    const bool touched = runGuarded([&] {
        for (int i = 0; i < kSpinCount && !taken; ++i) {
            taken = tryTake(busy);
            if (!taken)
                pauseHint();
        }
        if (taken)
            return;
        atomicAt(waiters).fetch_add(1);
        taken = tryTake(busy);
        if (taken)
            atomicAt(waiters).fetch_sub(1);
    });
    if (!touched)
        return recordLost();
    if (taken)
        return true;
    for (;;) {
        // A wait that fails because the event's file shrank ends like a time-out.
        const bool signalled = m_event.wait(timeoutMs);
        const bool stillThere = runGuarded([&] {
            if (!signalled) {
                atomicAt(waiters).fetch_sub(1);
                return;
            }
            taken = tryTake(busy);
            if (taken)
                atomicAt(waiters).fetch_sub(1);
        });
        if (!stillThere)
            return recordLost();
        if (!signalled)
            return false;
        if (taken)
            return true;
        // Somebody else took it first: wait for the next release.
    }
}

bool SharedMemoryLock::recordLost() {
    m_error = "the lock record " + m_record.path() + " shrank under an atomic operation";
    return false;
}

bool SharedMemoryLock::release() {
    int32_t* busy = field(kBusyOffset);
    if (!busy)
        return false;
    bool wake = false;
    if (!runGuarded([&] {
            atomicAt(busy).exchange(0);
            wake = atomicAt(field(kWaitersOffset)).load() > 0;
        }))
        return recordLost();
    if (wake)
        m_event.signal();
    return true;
}

void SharedMemoryLock::forceRelease() {
    int32_t* busy = field(kBusyOffset);
    if (!busy || !m_record.isWhole())
        return;
    if (runGuarded([&] { atomicAt(busy).exchange(0); }))
        m_event.signal();
}

int32_t SharedMemoryLock::busy() const { return load(kBusyOffset); }

int32_t SharedMemoryLock::waiters() const { return load(kWaitersOffset); }

int32_t SharedMemoryLock::load(size_t offset) const {
    int32_t* p = field(offset);
    int32_t value = 0;
    if (p && !runGuarded([&] { value = atomicAt(p).load(); }))
        return 0;
    return value;
}

}  // namespace qv
