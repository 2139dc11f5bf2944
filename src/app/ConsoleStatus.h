#pragma once
// The main thread's own console lines and the gear-change flash.
//
// Status lines are drawn at their row when the console is a terminal; when it
// is not (standard output is a pipe or a file) the same text goes out as a
// plain line, so scripts and logs still see what the program is doing.

#include "platform/Clock.h"
#include "platform/Console.h"

#include <atomic>
#include <cstdint>
#include <string_view>

namespace qv {

class ISimHapticEngine;

inline constexpr int kWaitingRow = 2;
inline constexpr int kReconnectRow = 4;
inline constexpr int kLoggerRow = 25;
inline constexpr int kExitRow = 26;

// Attribute, cursor (0, row), text; a plain line when not attached.
void drawStatusLine(IConsole& console, int attribute, int row, std::string_view text);

// "  Waiting for <name> -- get into a session..." on row 2 in yellow.
void drawWaitingLine(IConsole& console, const ISimHapticEngine& engine);

// The console flash: the whole screen turns bright white on red for a while
// after each gear change. Requests may come from any thread; update() runs on
// the main thread once per connected pass and repaints only on a change.
class ConsoleFlash {
public:
    void request(IClock& clock, int ms) { m_until.exchange(clock.nowMs() + static_cast<uint64_t>(ms)); }
    void update(IClock& clock, IConsole& console);
    bool isOn() const { return m_on.load() != 0; }

private:
    std::atomic<uint64_t> m_until{0};
    std::atomic<int32_t> m_on{0};
};

}  // namespace qv
