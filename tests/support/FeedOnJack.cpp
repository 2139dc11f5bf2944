#include "support/FeedOnJack.h"

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace qv::test {

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

    ChildProcess quorvane;
    if (!quorvane.start({run.quorvanePath}, env, config.file("quorvane.out")))
        return fail("could not start " + run.quorvanePath);
    if (!quorvane.waitForOutput("  [AudioEngine] Synth ready: 256 samples @ 48000 Hz", 30000))
        return fail("quorvane's synthesis did not start:\n" + quorvane.output() + quorvane.errors());

    std::string captureError;
    bool captured = false;
    std::thread recorder([&] {
        std::vector<std::string> ports;
        for (int i = 1; i <= run.outputs; ++i)
            ports.push_back("system:playback_" + std::to_string(i));
        captured = jackCapture(server, ports, run.recordSeconds, config.file("recording.wav"), &captureError);
    });
    // The recording runs once its file grows past the header (jack_capture
    // may take seconds to start on a loaded machine); then 1.5 s of it
    // before the feed, which the tests take as silent.
    const std::string wavPath = config.file("recording.wav");
    eventually([&] {
        std::error_code ec;
        return std::filesystem::file_size(wavPath, ec) > 64 * 1024 && !ec;
    }, 30000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ChildProcess feed;
    const bool feedStarted = feed.start({run.simfeedPath, "--sim", run.sim, "--script", run.script, "--duration",
                                         std::to_string(run.feedSeconds), "--shm-dir", shm.path()},
                                        env, config.file("feed.out"));
    recorder.join();
    const bool feedEnded = feedStarted && feed.wait(30000);
    result.feedExit = feed.exitCode();
    quorvane.signal(SIGINT);
    const bool programEnded = quorvane.wait(20000);
    result.programExit = quorvane.exitCode();
    result.programOutput = quorvane.output();
    if (!feedStarted)
        return fail("could not start " + run.simfeedPath);
    if (!feedEnded)
        return fail("qv-simfeed did not end: " + feed.errors());
    if (!captured)
        return fail(captureError);
    if (!programEnded)
        return fail("quorvane did not end after SIGINT:\n" + result.programOutput);
    return readWav(config.file("recording.wav"), result.wav, error);
}

}  // namespace qv::test
