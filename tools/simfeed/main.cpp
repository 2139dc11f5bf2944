// qv-simfeed: plays a simulator for quorvane by publishing its telemetry
// shared memory with a scripted drive. See FeedOptions.h for the options.

#include "platform/Clock.h"
#include "platform/Output.h"
#include "platform/Signals.h"
#include "simfeed/FeedOptions.h"

#include <atomic>

using namespace qv;
using namespace qv::simfeed;

namespace {
std::atomic<int32_t> gFeedRunning{1};
}

int main(int argc, char** argv) {
    FeedOptions options;
    std::string error;
    if (!parseFeedOptions(argc, argv, options, error)) {
        errPrint("qv-simfeed: %s\n\n%s", error.c_str(), kFeedUsage);
        outputFlush(2000);
        return 2;
    }
    if (options.showHelp) {
        outWrite(kFeedUsage);
        outputFlush(2000);
        return 0;
    }

    installTerminationHandlers(&gFeedRunning);
    std::unique_ptr<FeedWriter> writer = makeFeedWriter(options.config);
    if (!writer || !writer->open()) {
        errPrint("qv-simfeed: cannot create the shared memory: %s\n", writer ? writer->lastError().c_str() : "?");
        outputFlush(2000);
        return 1;
    }
    outPrint("qv-simfeed: publishing %s; Ctrl+C to stop\n", writer->describe().c_str());

    SystemClock clock;
    const int rate = writer->tickRate();
    const uint64_t start = clock.nowNs();
    int64_t ticks = 0;
    while (gFeedRunning.load()) {
        const double t = static_cast<double>(ticks) / rate;
        if (options.durationSeconds > 0.0 && t >= options.durationSeconds)
            break;
        writer->publish(t, static_cast<int>(ticks % 2000000000 + 1));
        ++ticks;
        const uint64_t next = start + static_cast<uint64_t>(ticks) * 1000000000ull / static_cast<uint64_t>(rate);
        const uint64_t now = clock.nowNs();
        if (next > now)
            clock.sleepNs(next - now);
    }
    writer->close();
    outPrint("qv-simfeed: stopped after %lld ticks; status cleared, shared memory removed\n",
             static_cast<long long>(ticks));
    outputFlush(2000);
    return 0;
}
