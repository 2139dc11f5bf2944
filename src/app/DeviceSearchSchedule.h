#pragma once
// When to look again for a saved audio device that the last initialisation
// did not find (an interface not plugged in yet, an audio server started
// after the program): every 2 s for the first minute of the search, then
// every 10 s, until the device plays or the search ends.
//
// Times are milliseconds of a monotonic clock (IClock::nowMs). The
// schedule is plain data; its owner serialises the calls.

#include <cstdint>

namespace qv {

inline constexpr uint64_t kDeviceSearchFastIntervalMs = 2000;
inline constexpr uint64_t kDeviceSearchFastPeriodMs = 60000;
inline constexpr uint64_t kDeviceSearchSlowIntervalMs = 10000;

class DeviceSearchSchedule {
public:
    // Starts a search at `nowMs`, its first look one interval later; a
    // search already running keeps its own times.
    void begin(uint64_t nowMs) {
        if (m_searching)
            return;
        m_searching = true;
        m_beganMs = nowMs;
        m_nextLookMs = nowMs + kDeviceSearchFastIntervalMs;
    }
    void end() { m_searching = false; }
    bool isSearching() const { return m_searching; }

    bool isLookDue(uint64_t nowMs) const { return m_searching && nowMs >= m_nextLookMs; }
    // A look starts at `nowMs`: the next one is an interval later, 2 s while
    // the search is younger than a minute, else 10 s.
    void noteLook(uint64_t nowMs) {
        const uint64_t age = nowMs >= m_beganMs ? nowMs - m_beganMs : 0;
        const uint64_t interval =
            age < kDeviceSearchFastPeriodMs ? kDeviceSearchFastIntervalMs : kDeviceSearchSlowIntervalMs;
        m_nextLookMs = nowMs + interval;
    }
    uint64_t nextLookMs() const { return m_nextLookMs; }

private:
    bool m_searching = false;
    uint64_t m_beganMs = 0;
    uint64_t m_nextLookMs = 0;
};

}  // namespace qv
