#pragma once
// Time for the run loop, injectable so tests run two-second waits instantly.

#include <cstdint>

namespace qv {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds of a monotonic clock (the tick count).
    virtual uint64_t nowMs() = 0;
    // Nanoseconds of a monotonic high-resolution clock.
    virtual uint64_t nowNs() = 0;
    virtual void sleepNs(uint64_t ns) = 0;

    // A 32-bit tick count; differences taken as uint32_t survive wrap-around.
    uint32_t tickMs32() { return static_cast<uint32_t>(nowMs()); }
    void sleepMs(uint64_t ms) { sleepNs(ms * 1000000ull); }
};

class SystemClock : public IClock {
public:
    uint64_t nowMs() override;
    uint64_t nowNs() override;
    void sleepNs(uint64_t ns) override;
};

// A clock that only moves when told to, or when slept on (tests).
class ManualClock : public IClock {
public:
    explicit ManualClock(uint64_t startNs = 1'000'000'000ull) : m_ns(startNs) {}
    uint64_t nowMs() override { return m_ns / 1000000ull; }
    uint64_t nowNs() override { return m_ns; }
    void sleepNs(uint64_t ns) override { m_ns += ns; m_slept += ns; ++m_sleeps; }

    void advanceNs(uint64_t ns) { m_ns += ns; }
    void advanceMs(uint64_t ms) { m_ns += ms * 1000000ull; }
    uint64_t totalSleptNs() const { return m_slept; }
    int sleepCount() const { return m_sleeps; }

private:
    uint64_t m_ns;
    uint64_t m_slept = 0;
    int m_sleeps = 0;
};

// Local wall-clock time of day, for log stamps.
struct LocalTimeOfDay {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTimeOfDay localTimeOfDay();

}  // namespace qv
