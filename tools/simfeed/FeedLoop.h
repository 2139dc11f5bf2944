#pragma once
// The feed's timing: a writer's ticks at its rate, by the clock.
//
// Tick k is due k / rate seconds after the start. The loop publishes the
// newest tick that is due, with the script at the clock's time since the
// start, then sleeps until the next one is due. A process held up (a loaded
// machine, a debugger) finds several ticks due at once: it publishes only the
// newest and counts the others as missed, as a simulator that drops frames
// would, so the script never falls behind real time and no burst of old
// ticks follows the hold-up. Tick numbers, the writers' per-sample counters,
// are the due ticks' numbers (1, 2, ...): they keep increasing, by more than
// one over missed ticks.

#include "platform/Clock.h"
#include "simfeed/FeedWriter.h"

#include <atomic>
#include <cstdint>

namespace qv::simfeed {

struct FeedRun {
    int64_t ticks = 0;      // ticks that fell due before the feed stopped
    int64_t published = 0;  // of those, the ones written
    int64_t remade = 0;     // times the shared memory was cut short under the feed and made anew
    bool lost = false;      // it was cut short and could not be made anew: the feed stopped
    int64_t missed() const { return ticks - published; }
};

// Publishes `writer`'s ticks until `running` turns 0 or, with durationSeconds
// above 0, until that many seconds of `clock` have passed since the call.
// Another process may shrink the feed's files under it (a write past the new
// end raises SIGBUS): each write runs under the mapped-memory guard, and a
// tick cut short makes the writer let go of its memory and make it anew.
FeedRun runFeed(FeedWriter& writer, IClock& clock, double durationSeconds, const std::atomic<int32_t>& running);

}  // namespace qv::simfeed
