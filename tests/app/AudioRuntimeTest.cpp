// The audio runtime on a fake PortAudio: the stream-stale check and its
// recovery episodes with an injected clock, the one-worker-at-a-time token,
// latency-test requests and the bounded shutdown wait.

#include "app/AudioRuntime.h"
#include "audio/AudioEngine.h"
#include "audio/AudioStatus.h"
#include "audio/SynthState.h"
#include "platform/Output.h"
#include "support/Eventually.h"
#include "support/FakePortAudio.h"
#include "support/TempDir.h"
#include "ui/dialogs/DeviceWizard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>

namespace qv::test {
namespace {

using ::testing::ElementsAre;

// A manual clock that callback threads may read while the test moves it.
class SharedManualClock : public IClock {
public:
    uint64_t nowMs() override { return m_ns.load() / 1000000ull; }
    uint64_t nowNs() override { return m_ns.load(); }
    void sleepNs(uint64_t ns) override { m_ns.fetch_add(ns); }
    void advanceMs(uint64_t ms) { m_ns.fetch_add(ms * 1000000ull); }

private:
    std::atomic<uint64_t> m_ns{5'000'000'000ull};
};

class AudioRuntimeTest : public ::testing::Test {
protected:
    AudioRuntimeTest()
        : capture([this](OutputStream, std::string_view text) {
              std::lock_guard<std::mutex> lock(printedLock);
              printed.append(text);
          }) {
        resetAudioStatus();
        settings.replace(HapticSettings());
        settings.edit(
            [](HapticSettings& s) {
                s.audioDeviceIndex = 0;
                copyText(s.devices[0].name, "Shaker Box");
            },
            false);
        FakeDevice d;
        d.name = "Shaker Box";
        d.maxOutputChannels = 4;
        fake.addDevice(d);
        watchdog.open(dir.file("watchdog.log"));
    }

    ~AudioRuntimeTest() override {
        fake.release();
        if (runtime) {
            waitForWorker();
            runtime->stopAcceptingWork();
            runtime->waitIdle(10000);
        }
    }

    // A runtime's options on the fake PortAudio and the test's settings.
    AudioRuntime::Options fakeOptions() {
        AudioRuntime::Options options;
        options.portAudio = &fake;
        options.asioRegistry = &registry;
        options.settings = &settings;
        return options;
    }
    // The runtime on `options`, started; whether its start-up ended in time.
    bool startWith(const AudioRuntime::Options& options) {
        runtime = std::make_unique<AudioRuntime>(options);
        runtime->start();
        return runtime->waitUntilStarted(30000);
    }

    void startRuntime(int callbackWaitMs = 2000) {
        AudioRuntime::Options options = fakeOptions();
        options.heartbeatClock = &clock;
        options.watchdog = &watchdog;
        options.callbackWaitMs = callbackWaitMs;
        options.loopbackTest = [this](AudioEngine& engine, int input) {
            loopbackInput = input;
            ++loopbackRuns;
            if (!loopbackError.empty()) {
                engine.setError(loopbackError);
                return -1.0;
            }
            return 4.5;
        };
        ASSERT_TRUE(startWith(options));
        ASSERT_EQ(runtime->audioOk(), 1);
        startLines = logLines().size();
    }

    // Waits until the running worker has handed back the token.
    void waitForWorker() {
        for (int i = 0; i < 20000 && runtime->isWorkerBusy(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_FALSE(runtime->isWorkerBusy());
    }

    // One callback of the newest stream: a fresh heartbeat.
    void heartbeat() {
        std::vector<float> out;
        fake.callBack(fake.streamCount() - 1, 256, 0, out);
    }

    // The watchdog lines without their time stamps.
    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        std::istringstream in(readFile(dir.file("watchdog.log")));
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line.size() > 15 ? line.substr(15) : line);
        return lines;
    }
    // The lines written after start-up.
    std::vector<std::string> newLines() {
        std::vector<std::string> all = logLines();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(startLines, all.size())), all.end());
    }
    // A runtime whose saved device, "Late Box", is not there yet: the
    // search for it runs on the test's clock.
    bool startSearchingForLateBox() {
        settings.edit([](HapticSettings& s) { copyText(s.devices[0].name, "Late Box"); }, false);
        AudioRuntime::Options options = fakeOptions();
        options.watchdog = &watchdog;
        options.searchClock = &clock;
        return startWith(options);
    }
    int countLines(const std::string& text) {
        int n = 0;
        for (const auto& l : logLines())
            n += l == text;
        return n;
    }

    TempDir dir;
    FakePortAudio fake;
    FakeAsioRegistry registry;
    SharedManualClock clock;
    WatchdogLog watchdog;
    LiveSettings settings;
    std::mutex printedLock;
    std::string printed;  // the console's text
    OutputCapture capture;
    std::unique_ptr<AudioRuntime> runtime;
    std::atomic<int> loopbackRuns{0};
    std::atomic<int> loopbackInput{-99};
    std::string loopbackError;  // set before the runtime starts: the test fails with it
    size_t startLines = 0;
};

TEST_F(AudioRuntimeTest, AStreamIsStaleOnlyAfterMoreThanASecondWithoutCallbacks) {
    startRuntime();
    heartbeat();
    clock.advanceMs(1000);
    runtime->checkStreams();
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_EQ(countLines("Stream stale detected, entering recovery mode"), 0);
    clock.advanceMs(1);
    fake.runCallbacks = true;  // the re-opened streams call back
    runtime->checkStreams();
    waitForWorker();
    EXPECT_THAT(newLines(), ElementsAre("Stream stale detected, entering recovery mode", "RECOVERY attempt 1/30",
                                        "reEnumerate() starting", "reEnumerate() done: 1 devices",
                                        "  dev[0] \"Shaker Box\" apis=1", "initAudio() starting",
                                        ::testing::StartsWith("initAudio: devIdx=0"),
                                        ::testing::StartsWith("initAudio: name resolved devIdx=0"),
                                        ::testing::StartsWith("initAudio: final devIdx=0"),
                                        ::testing::StartsWith("initAudio() result: ok=1 ch=4 latency="),
                                        "RECOVERED successfully"));
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_EQ(runtime->recoveryAttempts(), 0);
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
}

TEST_F(AudioRuntimeTest, OneWorkerPerEpisodeAndChecksWaitForIt) {
    startRuntime();
    heartbeat();
    clock.advanceMs(1500);
    fake.blockNext("open");
    runtime->checkStreams();
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    // While the worker runs, checks and restarts start nothing.
    for (int i = 0; i < 3; ++i) {
        clock.advanceMs(2000);
        runtime->checkStreams();
    }
    EXPECT_FALSE(runtime->requestRestart());
    EXPECT_EQ(countLines("RECOVERY attempt 1/30"), 1);
    EXPECT_EQ(countLines("RECOVERY attempt 2/30"), 0);
    fake.runCallbacks = true;
    fake.release();
    waitForWorker();
    EXPECT_EQ(countLines("RECOVERED successfully"), 1);
    EXPECT_EQ(fake.countCalls("open"), 2);
}

TEST_F(AudioRuntimeTest, AStreamThatStartsButNeverCallsBackUsesUpTheAttemptsAndGivesUpOnce) {
    startRuntime(1);
    heartbeat();
    clock.advanceMs(1001);
    for (int check = 0; check < 34; ++check) {
        runtime->checkStreams();
        waitForWorker();
        clock.advanceMs(2000);
    }
    EXPECT_EQ(countLines("Stream stale detected, entering recovery mode"), 1);
    EXPECT_EQ(countLines("RECOVERY attempt 1/30"), 1);
    EXPECT_EQ(countLines("RECOVERY attempt 30/30"), 1);
    EXPECT_EQ(countLines("RECOVERY attempt 31/30"), 0);
    EXPECT_EQ(countLines("GAVE UP after max retries"), 1);
    EXPECT_EQ(countLines("RECOVERED successfully"), 0);
    EXPECT_EQ(countLines("initAudio error: the streams started but the device never called back"), 30);
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_EQ(runtime->audioOk(), 0);
    EXPECT_EQ(gAudioReady.load(), 0);
    // Audio counts as down: no new episode starts by itself, the GUI's
    // restart still works.
    EXPECT_TRUE(runtime->requestRestart());
    waitForWorker();
    EXPECT_EQ(runtime->recoveryAttempts(), 0);
}

TEST_F(AudioRuntimeTest, AHealthyCheckResetsTheAttemptCount) {
    startRuntime();
    heartbeat();
    clock.advanceMs(500);
    runtime->checkStreams();
    EXPECT_FALSE(runtime->isRecoveryActive());
    EXPECT_TRUE(newLines().empty());
}

TEST_F(AudioRuntimeTest, ARestartListsDevicesThatAppearedSinceStartUp) {
    startRuntime();
    ASSERT_EQ(runtime->copyDevices().size(), 1u);
    FakeDevice usb;
    usb.name = "USB Box";
    fake.addDevice(usb);
    const int32_t inits = gAudioInitCount.load();
    ASSERT_TRUE(runtime->requestRestart());
    waitForWorker();
    EXPECT_EQ(gAudioInitCount.load(), inits + 1);
    const std::vector<PhysicalDevice> listed = runtime->copyDevices();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].hardwareName, "USB Box");
    EXPECT_EQ(runtime->audioOk(), 1);
}

// The device wizard against the real runtime: a restart refused while
// another worker runs is taken once that worker ends, and the test tone
// waits for the new streams.
TEST_F(AudioRuntimeTest, TheWizardTakesARefusedRestartOnceTheWorkerEndsAndThenPlays) {
    FakeDevice usb;
    usb.name = "USB Box";
    usb.maxOutputChannels = 2;
    fake.addDevice(usb);
    startRuntime();
    WizardState wizard;
    wizard.services.settings = &settings;
    wizard.services.copyDevices = [this] { return runtime->copyDevices(); };
    wizard.services.reopenAudio = [this](int, int, int) { return runtime->requestRestart(); };
    std::vector<int> toneResults;
    wizard.services.testTone = [&](int channel, int ms, float gain, int stream) {
        toneResults.push_back(runtime->playTestTone(channel, ms, gain, stream) ? 1 : 0);
    };
    beginWizard(wizard, "");
    ASSERT_EQ(wizard.devices.size(), 2u);
    layoutWizard(wizard, 0, 0);
    const RectF list = wizard.layout.list1;
    const auto press = [&](float x, float y) { wizardMouse(0x0201, x, y, 0, &wizard); };
    press(list.centerX(), list.top + 28 * 1.5f);  // "USB Box"
    ASSERT_EQ(wizard.device1, 1);
    press(wizard.next.rect.centerX(), wizard.next.rect.centerY());

    fake.blockNext("open");  // another worker holds the audio side
    ASSERT_TRUE(runtime->requestRestart());
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    press(wizard.next.rect.centerX(), wizard.next.rect.centerY());
    ASSERT_EQ(wizard.step, 2);
    EXPECT_EQ(wizard.restart, RestartState::Pending);
    EXPECT_EQ(textOf(settings.snapshot().devices[0].name), "USB Box");
    layoutWizard(wizard, 0, 0);
    press(wizard.testAll[0].rect.centerX(), wizard.testAll[0].rect.centerY());
    EXPECT_TRUE(toneResults.empty());

    fake.release();
    ASSERT_TRUE(eventually([&] {
        wizardTimer(kWizardTimerId, 0, 0, &wizard);
        return wizard.restart == RestartState::Ready || wizard.restart == RestartState::Failed;
    }));
    EXPECT_EQ(wizard.restart, RestartState::Ready);
    ASSERT_EQ(toneResults.size(), 1u);  // held all along: it plays on the new streams
    EXPECT_EQ(toneResults[0], 1);
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(std::string(deviceStatus().rows[0].deviceName), "USB Box");
    finishWizard(wizard);
}

TEST_F(AudioRuntimeTest, OverlappingRestartRequestsStartOneWorker) {
    startRuntime();
    fake.clearCalls();
    fake.blockNext("open");
    EXPECT_TRUE(runtime->requestRestart());
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    EXPECT_EQ(gAudioReady.load(), 0);
    EXPECT_FALSE(runtime->requestRestart());
    EXPECT_FALSE(runtime->requestRestart());
    fake.release();
    waitForWorker();
    EXPECT_EQ(fake.countCalls("open"), 1);
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
}

TEST_F(AudioRuntimeTest, ALatencyRequestRunsAfterTheBusyWorkerAndAnswersTheDialog) {
    startRuntime();
    fake.blockNext("open");
    ASSERT_TRUE(runtime->requestRestart());
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    gLatencyInputDevice = 3;
    gLatencyTestRequest = 1;
    runtime->serviceLatencyRequest();
    EXPECT_EQ(loopbackRuns.load(), 0);
    fake.release();
    waitForWorker();
    runtime->serviceLatencyRequest();
    waitForWorker();
    EXPECT_EQ(loopbackRuns.load(), 1);
    EXPECT_EQ(loopbackInput.load(), 3);
    EXPECT_EQ(gLatencyTestRequest.load(), 0);
    EXPECT_FLOAT_EQ(gLatencyTestResultMs.load(), 4.5f);
    EXPECT_EQ(runtime->audioOk(), 1);  // the streams are back
    runtime->serviceLatencyRequest();
    EXPECT_EQ(loopbackRuns.load(), 1);  // one request, one run
}

TEST_F(AudioRuntimeTest, TheInputDevicesArePublishedWithEachEnumeration) {
    FakeDevice line;
    line.name = "Line In";
    line.maxOutputChannels = 0;
    line.maxInputChannels = 2;
    fake.addDevice(line);
    startRuntime();
    const std::vector<InputDevice> inputs = inputDevices();
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].paIndex, 1);
    EXPECT_EQ(inputs[0].name, "Line In");
    EXPECT_EQ(inputs[0].hostApiName, "ALSA");
    EXPECT_EQ(inputs[0].inputChannels, 2);
    EXPECT_EQ(runtime->copyInputDevices().size(), 1u);
}

TEST_F(AudioRuntimeTest, ALatencyRequestForAnInputThatMovedIsRefusedWithAReason) {
    FakeDevice line;
    line.name = "Line In";
    line.maxOutputChannels = 0;
    line.maxInputChannels = 2;
    fake.addDevice(line);
    startRuntime();
    struct Case {
        int index;
        const char* name;
        const char* error;
    };
    const Case cases[] = {
        {1, "USB Mic", "The device list changed: \"USB Mic\" is no longer input 1. Choose the input again."},
        {5, "Line In", "The input device \"Line In\" is no longer available. Choose the input again."},
    };
    for (const Case& c : cases) {
        setLatencyInputName(c.name);
        gLatencyInputDevice = c.index;
        gLatencyTestRequest = kLatencyRequestPending;
        runtime->serviceLatencyRequest();
        EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestNone);
        EXPECT_FLOAT_EQ(gLatencyTestResultMs.load(), -1.0f);
        EXPECT_EQ(latencyTestError(), c.error);
        EXPECT_FALSE(runtime->isWorkerBusy());
        EXPECT_EQ(gAudioReady.load(), 1) << "the shakers were not touched";
    }
    EXPECT_EQ(loopbackRuns.load(), 0);
    // The listed name at its index is tested.
    setLatencyInputName("Line In");
    gLatencyInputDevice = 1;
    gLatencyTestRequest = kLatencyRequestPending;
    runtime->serviceLatencyRequest();
    waitForWorker();
    EXPECT_EQ(loopbackRuns.load(), 1);
    EXPECT_EQ(loopbackInput.load(), 1);
    EXPECT_EQ(latencyTestError(), "");
}

TEST_F(AudioRuntimeTest, AWithdrawnRequestNeverStartsAndAFailureCarriesItsReason) {
    startRuntime();
    gLatencyTestRequest = kLatencyRequestPending;
    int32_t pending = kLatencyRequestPending;
    ASSERT_TRUE(gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestNone));
    runtime->serviceLatencyRequest();
    EXPECT_EQ(loopbackRuns.load(), 0);

    loopbackError = "Loopback Pa_OpenStream failed: Invalid device";
    gLatencyInputDevice = -1;
    gLatencyTestRequest = kLatencyRequestPending;
    runtime->serviceLatencyRequest();
    // Taken: the dialog can no longer withdraw it.
    pending = kLatencyRequestPending;
    EXPECT_FALSE(gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestNone));
    waitForWorker();
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestNone);
    EXPECT_FLOAT_EQ(gLatencyTestResultMs.load(), -1.0f);
    EXPECT_EQ(latencyTestError(), loopbackError);
    EXPECT_EQ(runtime->audioOk(), 1);
}

TEST_F(AudioRuntimeTest, ShutdownRefusesNewWorkersAndWaitsABoundedTime) {
    startRuntime();
    fake.blockNext("open");
    ASSERT_TRUE(runtime->requestRestart());
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    runtime->stopAcceptingWork();
    EXPECT_FALSE(runtime->waitIdle(20));
    fake.release();
    EXPECT_TRUE(runtime->waitIdle(10000));
    // From here on no worker starts, whoever asks.
    EXPECT_FALSE(runtime->requestRestart());
    gLatencyTestRequest = 1;
    runtime->serviceLatencyRequest();
    EXPECT_EQ(loopbackRuns.load(), 0);
    clock.advanceMs(5000);
    runtime->checkStreams();
    EXPECT_FALSE(runtime->isRecoveryActive());
    runtime->closeAll();
    EXPECT_EQ(gAudioReady.load(), 0);
    EXPECT_EQ(fake.openStreamCount(), 0);
    gLatencyTestRequest = 0;
    runtime.reset();
}

TEST_F(AudioRuntimeTest, AWorkerThatOutlivesTheShutdownWaitLeavesTheWatchdogLogAlone) {
    // main's log goes right after the runtime; a worker still running then
    // must not write to it.
    auto ownLog = std::make_unique<WatchdogLog>();
    ASSERT_TRUE(ownLog->open(dir.file("own.log")));
    AudioRuntime::Options options = fakeOptions();
    options.heartbeatClock = &clock;
    options.watchdog = ownLog.get();
    options.callbackWaitMs = 20;
    auto own = std::make_unique<AudioRuntime>(options);
    own->start();
    ASSERT_TRUE(own->waitUntilStarted(30000));
    ASSERT_EQ(own->audioOk(), 1);
    std::vector<float> out;
    fake.callBack(fake.streamCount() - 1, 256, 0, out);
    clock.advanceMs(1500);
    fake.blockNext("open");
    own->checkStreams();  // a recovery worker, held in its open
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    own->stopAcceptingWork();
    EXPECT_FALSE(own->waitIdle(20));
    const int terminates = fake.countCalls("terminate");
    own.reset();
    ownLog.reset();
    fake.release();
    // The worker finishes (its result line goes nowhere) and the last owner
    // of the engine terminates PortAudio.
    EXPECT_TRUE(eventually([&] { return fake.countCalls("terminate") > terminates; }, 20000));
}

// The console line of a warning, without its tag and line end.
std::string warningLine(const std::string& printed, const std::string& start) {
    const size_t at = printed.find("  WARNING: " + start);
    if (at == std::string::npos)
        return {};
    const size_t from = at + 11;
    return printed.substr(from, printed.find('\n', from) - from);
}

TEST_F(AudioRuntimeTest, TheWindowLearnsWhyAudioIsMissingAndForgetsItWhenAudioRuns) {
    settings.edit([](HapticSettings& s) { copyText(s.devices[0].name, "Gone Box"); }, false);
    ASSERT_TRUE(startWith(fakeOptions()));
    EXPECT_EQ(runtime->audioOk(), 0);
    AudioNotice notice = audioNotice();
    EXPECT_EQ(notice.problem, AudioProblem::DeviceNotFound);
    EXPECT_STREQ(notice.deviceName, "Gone Box");
    {
        std::lock_guard<std::mutex> lock(printedLock);
        EXPECT_EQ(std::string(notice.text), warningLine(printed, "Saved device"));
    }
    settings.edit([](HapticSettings& s) { copyText(s.devices[0].name, "Shaker Box"); }, false);
    ASSERT_TRUE(runtime->requestRestart());
    waitForWorker();
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(audioNotice().problem, AudioProblem::None);
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A saved device that comes after the program (an interface plugged in, an
// audio server started later): looked for on a worker, 2 s apart on the
// search's clock; a look that finds nothing prints nothing, the look that
// finds it plays and says so once, and the window's notice goes.
TEST_F(AudioRuntimeTest, ASavedDeviceThatAppearsLaterIsPickedUpByTheSearch) {
    ASSERT_TRUE(startSearchingForLateBox());
    EXPECT_EQ(runtime->audioOk(), 0);
    EXPECT_TRUE(runtime->isSearchingForDevice());
    const auto looks = [this] {
        int n = 0;
        for (const auto& line : logLines())
            n += line.rfind("reEnumerate() done:", 0) == 0;
        return n;
    };
    const auto service = [this] {
        runtime->serviceDeviceSearch();
        waitForWorker();
    };

    service();
    clock.advanceMs(1999);
    service();
    EXPECT_EQ(looks(), 0);
    clock.advanceMs(1);
    service();
    EXPECT_EQ(looks(), 1);
    EXPECT_EQ(runtime->audioOk(), 0);

    FakeDevice late;
    late.name = "Late Box";
    late.maxOutputChannels = 2;
    fake.addDevice(late);
    clock.advanceMs(1999);
    service();
    EXPECT_EQ(looks(), 1);
    clock.advanceMs(1);
    service();
    EXPECT_EQ(looks(), 2);
    EXPECT_EQ(runtime->audioOk(), 1);
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_EQ(audioNotice().problem, AudioProblem::None);
    EXPECT_FALSE(runtime->isSearchingForDevice());
    EXPECT_EQ(countLines("Saved device 'Late Box' found: the shakers play"), 1);
    {
        std::lock_guard<std::mutex> lock(printedLock);
        EXPECT_EQ(countOf(printed, "  WARNING: Saved device 'Late Box' not found"), 1) << printed;
        EXPECT_EQ(countOf(printed, "  [AudioEngine] Saved device 'Late Box' found: the shakers play\n"), 1) << printed;
    }
    // Playing: no more looks.
    clock.advanceMs(60000);
    service();
    EXPECT_EQ(looks(), 2);
}

// The search takes the one worker token like the others: a look waits for a
// running worker, and none starts once the program ends.
TEST_F(AudioRuntimeTest, TheSearchWaitsForTheRunningWorkerAndEndsWithTheProgram) {
    ASSERT_TRUE(startSearchingForLateBox());
    ASSERT_TRUE(runtime->isSearchingForDevice());

    fake.blockNext("initialize");
    ASSERT_TRUE(runtime->requestRestart());
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    clock.advanceMs(2000);
    runtime->serviceDeviceSearch();  // the restart holds the token: no look
    fake.release();
    waitForWorker();
    EXPECT_EQ(countLines("reEnumerate() done: 0 devices") + countLines("reEnumerate() done: 1 devices"), 1);
    EXPECT_TRUE(runtime->isSearchingForDevice());

    runtime->stopAcceptingWork();
    clock.advanceMs(10000);
    runtime->serviceDeviceSearch();
    EXPECT_FALSE(runtime->isWorkerBusy());
    EXPECT_TRUE(runtime->waitIdle(10000));
    runtime.reset();
}

// The start-up waits for the device list, not for the streams: the list is
// announced while the first stream still opens.
TEST_F(AudioRuntimeTest, TheDeviceListIsAnnouncedBeforeTheStreamsOpen) {
    runtime = std::make_unique<AudioRuntime>(fakeOptions());
    EXPECT_FALSE(runtime->isListingDevices()) << "nothing is listed before the start";
    fake.blockNext("open");
    runtime->start();
    ASSERT_TRUE(fake.waitUntilBlocked(10000));
    EXPECT_FALSE(runtime->isListingDevices());
    EXPECT_TRUE(runtime->isStarting());
    EXPECT_FALSE(runtime->copyDevices().empty());
    fake.release();
    ASSERT_TRUE(runtime->waitUntilStarted(30000));
    EXPECT_EQ(runtime->audioOk(), 1);
}

TEST_F(AudioRuntimeTest, AMissingAudioHostIsNamedAsTheConsoleNamesIt) {
    AudioRuntime::Options options;
    options.hostProgram = dir.file("no-such-audiohost");
    options.settings = &settings;
    options.watchdog = &watchdog;
    ASSERT_TRUE(startWith(options));
    const AudioNotice notice = audioNotice();
    EXPECT_EQ(notice.problem, AudioProblem::HostUnavailable);
    EXPECT_THAT(std::string(notice.text), ::testing::StartsWith("Audio init failed: Cannot start the audio host: "));
    std::lock_guard<std::mutex> lock(printedLock);
    EXPECT_EQ(std::string(notice.text), warningLine(printed, "Audio init failed")) << printed;
    EXPECT_FALSE(runtime->isRecoveryActive()) << "a missing program is no server that may come back";
}

TEST_F(AudioRuntimeTest, TestTonesAndPreviewsReachTheSynthesis) {
    startRuntime();
    EXPECT_TRUE(runtime->playTestTone(0, 500, 0.7f, 0));
    EXPECT_TRUE(runtime->synth().isToneActive());
    EXPECT_FALSE(runtime->playTestTone(0, 500, 0.7f, 2));  // no stream plays device 2
    EXPECT_TRUE(runtime->setEffectPreview(kKerbRumble, true));
    float levels[kEffectCount];
    EXPECT_TRUE(runtime->previewLevels(levels));
    EXPECT_TRUE(runtime->setEffectPreview(kKerbRumble, false));
    EXPECT_FALSE(runtime->previewLevels(levels));
    ASSERT_EQ(runtime->copyDevices().size(), 1u);
    EXPECT_EQ(runtime->copyDevices()[0].hardwareName, "Shaker Box");
}

}  // namespace
}  // namespace qv::test
