#pragma once
// A copy of the console's cell grid for another thread: the main thread,
// which draws the console, publishes a copy at most every `intervalMs`
// (and only when the grid changed); the GUI thread's console window reads
// the last copy. The copy is taken and read under a mutex that nothing else
// holds, each for one grid copy (120 x 55 cells).

#include "platform/Console.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qv {

class ConsoleMirror {
public:
    explicit ConsoleMirror(uint64_t intervalMs = 100) : m_intervalMs(intervalMs) {}

    // Main thread. Copies the grid when the interval has passed since the
    // last copy and a cell differs; true when it did.
    bool publishIfDue(const ConsoleScreen& screen, uint64_t nowMs);

    // Any thread. The last published grid (kConsoleColumns x kConsoleRows,
    // row by row; blanks before the first publish) and its version.
    uint64_t read(std::vector<ConsoleCell>& cells) const;
    // Increases with every publish; 0 before the first.
    uint64_t version() const { return m_version.load(std::memory_order_acquire); }

private:
    const uint64_t m_intervalMs;
    uint64_t m_lastMs = 0;    // main thread only
    bool m_published = false; // main thread only
    std::vector<ConsoleCell> m_scratch;  // main thread only
    mutable std::mutex m_mutex;
    std::vector<ConsoleCell> m_cells;  // under m_mutex
    std::atomic<uint64_t> m_version{0};
};

}  // namespace qv
