#pragma once
// quorvane playing into a private JACK server's "system" device while
// qv-simfeed plays a script into a shared-memory folder of the run's own,
// the server's outputs recorded with jack_capture from before the feed starts
// until after it has stopped. The end-to-end tests of the main road and of
// every simulator use it.

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
    int recordSeconds = 36;    // from 1.5 s before the feed starts
    int outputs = 4;           // system:playback_1 .. _N
};

struct FeedOnJackResult {
    WavData wav;
    std::string programOutput;  // quorvane's standard output
    int programExit = -1;
    int feedExit = -1;
};

// Writes "QuorVane/haptic_config.ini" under configHome (the XDG_CONFIG_HOME
// of the run): one JACK device "system" with all its channels.
bool writeJackConfig(const std::string& configHome, int selectedSim);

// False, with error set, when a process cannot be started or does not end,
// or the recording fails. The program gets SIGINT once the recording ends.
bool runFeedOnJack(JackServer& server, const FeedOnJack& run, FeedOnJackResult& result, std::string* error);

}  // namespace qv::test
