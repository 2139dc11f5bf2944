#pragma once
// Command line of qv-simfeed.

#include "simfeed/FeedWriter.h"

#include <string>

namespace qv::simfeed {

struct FeedOptions {
    FeedConfig config;
    double durationSeconds = 0.0;  // 0 = until Ctrl+C
    bool showHelp = false;
};

inline constexpr const char* kFeedUsage =
    "Usage: qv-simfeed [--sim iracing|acc|ac|ac_evo|lmu] [--script cruise|lap] [--duration SECONDS] [--360hz]\n"
    "                  [--shm-dir DIR]\n"
    "\n"
    "Plays a simulator: publishes its telemetry shared memory with a scripted drive\n"
    "at the simulator's rate, so quorvane can connect without the simulator.\n"
    "The drive keeps to the clock: ticks missed while the feed was held up are\n"
    "skipped, not sent late.\n"
    "\n"
    "  --sim NAME          simulator to play: iracing (default), acc (Assetto Corsa Competizione),\n"
    "                      ac (Assetto Corsa; the same pages as acc), ac_evo (AC EVO)\n"
    "                      or lmu (Le Mans Ultimate)\n"
    "  --script NAME       cruise: fixed values at a steady 108 km/h;\n"
    "                      lap (default): a 60 s lap, repeated, with garage, pit lane,\n"
    "                      gear changes, ABS braking, kerb strikes, a slide and an off-track moment\n"
    "  --duration SECONDS  stop after this many seconds on the clock (default: run until Ctrl+C)\n"
    "  --360hz             iRacing: also publish the six-sub-sample shock variables\n"
    "  --shm-dir DIR       shared-memory folder (default: $QUORVANE_SHM_DIR, else /dev/shm)\n"
    "\n"
    "On exit the simulator's running status is cleared and the shared memory removed.\n"
    "A program that still maps the ACC or AC pages keeps their last step, as with the\n"
    "simulators' own pages.\n";

// Parses argv[1..argc-1]; false with `error` set on a bad option or value.
bool parseFeedOptions(int argc, const char* const* argv, FeedOptions& options, std::string& error);

}  // namespace qv::simfeed
