#include "simfeed/FeedLoop.h"

#include "platform/MappedFault.h"

#include <algorithm>
#include <cmath>

namespace qv::simfeed {

namespace {

constexpr uint64_t kNsPerSecond = 1000000000ull;

// The newest tick due `elapsedNs` after the start: the largest k with
// k / rate <= elapsed (split so that no product overflows).
int64_t newestDue(uint64_t elapsedNs, uint64_t rate) {
    return static_cast<int64_t>(elapsedNs / kNsPerSecond * rate + elapsedNs % kNsPerSecond * rate / kNsPerSecond);
}

// When tick k falls due: the first whole nanosecond at or after k / rate s.
uint64_t dueNs(int64_t k, uint64_t rate) {
    const uint64_t n = static_cast<uint64_t>(k);
    return n / rate * kNsPerSecond + (n % rate * kNsPerSecond + rate - 1) / rate;
}

}  // namespace

FeedRun runFeed(FeedWriter& writer, IClock& clock, double durationSeconds, const std::atomic<int32_t>& running) {
    const uint64_t rate = static_cast<uint64_t>(std::max(writer.tickRate(), 1));
    const bool bounded = durationSeconds > 0.0;
    const uint64_t length = bounded ? std::max<uint64_t>(std::llround(durationSeconds * 1e9), 1) : 0;
    const uint64_t start = clock.nowNs();
    FeedRun run;
    while (running.load()) {
        const uint64_t elapsed = clock.nowNs() - start;
        if (bounded && elapsed >= length) {
            // Ticks due after the last one written and before the end were missed.
            run.ticks = std::max(run.ticks, newestDue(length - 1, rate) + 1);
            break;
        }
        const int64_t newest = newestDue(elapsed, rate);
        if (newest >= run.ticks) {
            const double t = static_cast<double>(elapsed) / 1e9;
            const int tick = static_cast<int>(newest % 2000000000 + 1);
            run.ticks = newest + 1;
            if (runGuarded([&writer, t, tick] { writer.publish(t, tick); })) {
                ++run.published;
            } else {
                writer.discard();
                if (!writer.open()) {
                    run.lost = true;
                    break;
                }
                ++run.remade;
            }
        }
        uint64_t wake = dueNs(run.ticks, rate);
        if (bounded)
            wake = std::min(wake, length);
        const uint64_t now = clock.nowNs() - start;
        if (wake > now)
            clock.sleepNs(wake - now);
    }
    return run;
}

}  // namespace qv::simfeed
