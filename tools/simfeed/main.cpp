// qv-simfeed: plays a simulator for quorvane by publishing its telemetry
// shared memory with a scripted drive. See FeedOptions.h for the options.

#include "platform/Clock.h"
#include "platform/MappedFault.h"
#include "platform/Output.h"
#include "platform/Signals.h"
#include "simfeed/FeedLoop.h"
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
    const FeedRun run = runFeed(*writer, clock, options.durationSeconds, gFeedRunning);
    if (!runGuarded([&writer] { writer->close(); }))
        writer->discard();
    if (run.remade > 0)
        outPrint("qv-simfeed: the shared memory was cut short under the feed %lld times and made anew\n",
                 static_cast<long long>(run.remade));
    if (run.lost) {
        errPrint("qv-simfeed: the shared memory was cut short under the feed and cannot be made anew: %s\n",
                 writer->lastError().c_str());
        outputFlush(2000);
        return 1;
    }
    if (run.missed() > 0)
        outPrint("qv-simfeed: %lld of the ticks were missed while the feed was held up\n",
                 static_cast<long long>(run.missed()));
    outPrint("qv-simfeed: stopped after %lld ticks; status cleared, shared memory removed\n",
             static_cast<long long>(run.ticks));
    outputFlush(2000);
    return 0;
}
