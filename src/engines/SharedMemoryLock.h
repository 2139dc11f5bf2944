#pragma once
// Le Mans Ultimate's cross-process lock around its telemetry map.
//
// The lock is an 8-byte record {int32 waiters; int32 busy} in the shared
// memory "LMU_SharedMemoryLockData", shared by the simulator and every reader,
// plus the auto-reset event "LMU_SharedMemoryLockEvent" on which waiters
// sleep. Both fields change only through atomic operations: acquire takes
// busy 0 -> 1 with a compare-exchange (spinning first, then sleeping on the
// event as a counted waiter); release sets busy to 0 with an exchange and
// then signals the event when anybody waits.
//
// Whoever opens the lock first creates the record and the event; the others
// share them. On Linux the record outlives every process (unlike a Windows
// mapping), so close() removes the names when this object created them, and
// forceRelease() lets a reader recover from a holder that died.
//
// The record and the event are files another process may shrink or remove at
// any moment (a simulator or bridge going away, or re-creating them). They are
// touched only while whole, and only under the bus-error guard of
// MappedFault.h, so a file shrinking under an operation makes it fail instead
// of ending the program.
//
// One object belongs to one thread; any number of objects in any number of
// processes may use the same lock at once.

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <string>

namespace qv {

class SharedMemoryLock {
public:
    static constexpr const char* kRecordName = "LMU_SharedMemoryLockData";
    static constexpr const char* kEventName = "LMU_SharedMemoryLockEvent";
    static constexpr size_t kRecordSize = 8;
    static constexpr size_t kWaitersOffset = 0;
    static constexpr size_t kBusyOffset = 4;
    // Compare-exchange attempts before acquire() sleeps on the event.
    static constexpr int kSpinCount = 4000;

    // folder: as for SharedMemoryMap; empty means sharedMemoryFolder().
    explicit SharedMemoryLock(std::string folder = {}) : m_record(folder), m_event(folder) {}
    ~SharedMemoryLock() { close(); }
    SharedMemoryLock(const SharedMemoryLock&) = delete;
    SharedMemoryLock& operator=(const SharedMemoryLock&) = delete;

    // Opens the record read-write (creating it, 8 zero bytes, when absent),
    // then the event (creating it unsignalled when absent). False leaves
    // nothing open; lastError() names the failed call.
    bool open();
    // Closes both; removes the record's and the event's names when this
    // object created them. Safe when not open and more than once.
    void close();
    bool isOpen() const { return m_record.isOpen() && m_event.isOpen(); }
    // Open, and both files still as long as they were when opened (two fstat
    // calls). A file that is merely gone from its name stays usable.
    bool isWhole() const { return isOpen() && m_record.isWhole() && m_event.isWhole(); }

    // Takes the lock: spins, then waits on the event up to timeoutMs for each
    // release it is woken by. False when not open or when a wait timed out.
    bool acquire(int timeoutMs);
    // Gives the lock back and wakes a waiter. Only after a successful acquire.
    // False when the record could not be touched (its file shrank).
    bool release();
    // Declares the lock free whoever holds it (the holder died): busy := 0 and
    // the waiters are woken. Waiter counts are left alone, since live waiters
    // still own them.
    void forceRelease();

    // The record's fields as they are now (diagnostics and tests); 0 when not open.
    int32_t busy() const;
    int32_t waiters() const;

    bool createdRecord() const { return m_createdRecord; }
    bool createdEvent() const { return m_createdEvent; }
    const std::string& lastError() const { return m_error; }

private:
    int32_t* field(size_t offset) const;
    int32_t load(size_t offset) const;
    bool recordLost();

    SharedMemoryMap m_record;
    NamedEvent m_event;
    bool m_createdRecord = false;
    bool m_createdEvent = false;
    std::string m_error;
};

}  // namespace qv
