#pragma once
// quorvane playing into a private JACK server's "system" device while
// qv-simfeed plays a script into a shared-memory folder of the run's own,
// the server's outputs recorded with jack_capture from before the feed starts
// until after it has stopped. The end-to-end tests of the main road and of
// every simulator use it.
//
// The run waits on the recording, not on the clock: the feed starts once
// leadSeconds are recorded, and the recording ends once it holds tailSeconds
// after the feed ended (and the program has printed programLineAfterFeed,
// when one is named). The feed keeps to the clock (it skips the ticks a
// loaded machine holds it up for), so the tests start their servers with
// realtime scheduling where they may (JackServer::Options::realtime): without
// it, a loaded machine's server records less time than passes on the clock.

#include "support/JackServer.h"
#include "support/WavFile.h"

#include <string>

namespace qv::test {

struct FeedOnJack {
    std::string quorvanePath;
    std::string simfeedPath;
    int selectedSim = 0;       // written to haptic_config.ini
    std::string sim = "iracing";  // qv-simfeed --sim
    std::string script = "lap";   // qv-simfeed --script
    int feedSeconds = 30;
    double leadSeconds = 1.5;  // recorded before the feed starts
    double tailSeconds = 4.0;  // recorded after the feed has ended
    std::string programLineAfterFeed;  // waited for before the recording ends
    int outputs = 4;           // system:playback_1 .. _N
};

struct FeedOnJackResult {
    WavData wav;
    // Frames of the recording before the feed was started: its time 0 lies
    // after this frame, by the moment a process takes to start.
    size_t feedStartFrame = 0;
    // Frames of the recording once the feed had ended.
    size_t feedEndFrame = 0;
    double feedClockSeconds = 0.0;  // from the feed's start to its end on the clock
    std::string programOutput;  // quorvane's standard output
    std::string feedOutput;     // qv-simfeed's
    int programExit = -1;
    int feedExit = -1;
    bool realtimeServer = false;

    // One line for failure messages: how the run kept time.
    std::string timing() const;
};

// Writes "QuorVane/haptic_config.ini" under configHome (the XDG_CONFIG_HOME
// of the run): one JACK device "system" with all its channels.
bool writeJackConfig(const std::string& configHome, int selectedSim);

// False, with error set, when a process cannot be started or does not end,
// or the recording fails. The program gets SIGINT once the recording ends.
bool runFeedOnJack(JackServer& server, const FeedOnJack& run, FeedOnJackResult& result, std::string* error);

}  // namespace qv::test
