#include "support/FeedOnJack.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

namespace qv::test {

namespace {

constexpr int kPatienceMs = 30000;  // bounds a failing run; nothing here is timed
constexpr double kServerRate = 48000.0;  // the tests' servers (JackServer's default)

}  // namespace

bool writeJackConfig(const std::string& configHome, int selectedSim) {
    std::filesystem::create_directories(configHome + "QuorVane");
    return writeFile(configHome + "QuorVane/haptic_config.ini",
                     "[HapticEngine]\n"
                     "audioDeviceIndex=0\n"
                     "audioSampleRate=48000\n"
                     "selectedSim=" + std::to_string(selectedSim) + "\n"
                     "\n[Audio]\n"
                     "numDevices=1\n"
                     "\n[Audio.Device0]\n"
                     "name=system\n"
                     "api=JACK\n"
                     "channels=0\n"
                     "bufferSize=256\n"
                     "enabled=1\n");
}

std::string FeedOnJackResult::timing() const {
    char line[240];
    std::snprintf(line, sizeof line,
                  "feed from frame %zu to %zu of %zu: %.2f s recorded over %.2f s on the clock; server %s",
                  feedStartFrame, feedEndFrame, wav.frames(),
                  static_cast<double>(feedEndFrame - std::min(feedStartFrame, feedEndFrame)) / kServerRate,
                  feedClockSeconds, realtimeServer ? "realtime" : "not realtime");
    std::string text = line;
    const size_t missed = feedOutput.find(" of the ticks were missed");
    if (missed != std::string::npos && missed > 0) {
        const size_t from = feedOutput.rfind(' ', missed - 1) + 1;
        text += "; the feed missed " + feedOutput.substr(from, missed - from) + " ticks";
    }
    return text;
}

bool runFeedOnJack(JackServer& server, const FeedOnJack& run, FeedOnJackResult& result, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    TempDir config;
    TempDir shm;
    if (!writeJackConfig(config.path(), run.selectedSim))
        return fail("could not write haptic_config.ini");
    const std::vector<std::pair<std::string, std::string>> env = {{"XDG_CONFIG_HOME", config.path()},
                                                                  {"QUORVANE_SHM_DIR", shm.path()}};
    result.realtimeServer = server.isRealtime();

    ChildProcess quorvane;
    if (!quorvane.start({run.quorvanePath}, env, config.file("quorvane.out")))
        return fail("could not start " + run.quorvanePath);
    if (!quorvane.waitForOutput("  [AudioEngine] Synth ready: 256 samples @ 48000 Hz", kPatienceMs))
        return fail("quorvane's synthesis did not start:\n" + quorvane.output() + quorvane.errors());

    // The recording first; the feed once the lead is recorded (jack_capture
    // may take seconds to start on a loaded machine).
    std::vector<std::string> ports;
    for (int i = 1; i <= run.outputs; ++i)
        ports.push_back("system:playback_" + std::to_string(i));
    const int longest = static_cast<int>(run.leadSeconds + run.feedSeconds + run.tailSeconds) + 2 * kPatienceMs / 1000;
    JackRecording recording;
    if (!recording.start(server, ports, longest, config.file("recording.wav")))
        return fail(recording.error());
    auto frames = [](double seconds) { return static_cast<size_t>(seconds * kServerRate); };
    if (!recording.waitForFrames(frames(run.leadSeconds), kPatienceMs))
        return fail("jack_capture did not record: " + recording.error());

    result.feedStartFrame = recording.framesWritten();
    const auto feedStart = std::chrono::steady_clock::now();
    ChildProcess feed;
    if (!feed.start({run.simfeedPath, "--sim", run.sim, "--script", run.script, "--duration",
                     std::to_string(run.feedSeconds), "--shm-dir", shm.path()},
                    env, config.file("feed.out")))
        return fail("could not start " + run.simfeedPath);
    const bool feedEnded = feed.wait((run.feedSeconds * 1000) + kPatienceMs);
    result.feedClockSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - feedStart).count();
    result.feedEndFrame = recording.framesWritten();
    result.feedExit = feed.exitCode();
    result.feedOutput = feed.output();
    if (!feedEnded)
        return fail("qv-simfeed did not end: " + feed.output() + feed.errors());

    // The tail the tests measure the silence in, and what the program says
    // once the feed has gone.
    const bool tailRecorded = recording.waitForFrames(result.feedEndFrame + frames(run.tailSeconds), kPatienceMs);
    const std::string tailError = recording.error();
    const bool lineSeen =
        run.programLineAfterFeed.empty() || quorvane.waitForOutput(run.programLineAfterFeed, kPatienceMs);
    const bool captured = recording.stop(result.wav);
    quorvane.signal(SIGINT);
    const bool programEnded = quorvane.wait(20000);
    result.programExit = quorvane.exitCode();
    result.programOutput = quorvane.output();
    if (!tailRecorded)
        return fail("the recording after the feed: " + tailError);
    if (!lineSeen)
        return fail("quorvane did not print \"" + run.programLineAfterFeed + "\":\n" + result.programOutput);
    if (!captured)
        return fail(recording.error());
    if (!programEnded)
        return fail("quorvane did not end after SIGINT:\n" + result.programOutput);
    return true;
}

}  // namespace qv::test
