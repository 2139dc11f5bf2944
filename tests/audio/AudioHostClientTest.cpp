// The program's side of the audio host with the real qv-audiohost, on a
// machine without an audio server (no JACK server of that name, no sound
// card needed): hosts that die or stop answering are replaced, a waiting
// request ends at once on interrupt(), the host's console lines reach our
// output in order with ours, and replacing hosts over and over leaves no
// process, thread or descriptor behind. Also the device list's wire format
// and its decoder's refusals.

#include "audio/AudioHostClient.h"
#include "audio/AudioHostProtocol.h"
#include "platform/Output.h"
#include "support/Eventually.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

int entries(const char* folder) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}

bool processExists(int pid) { return pid > 0 && ::kill(pid, 0) == 0; }

class AudioHostClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        // PortAudio in the host finds no JACK server under this name.
        ::setenv("JACK_DEFAULT_SERVER", uniqueName("qvnojack").c_str(), 1);
        settings.edit([](HapticSettings& s) { s.audioDeviceIndex = -1; }, false);
    }
    void TearDown() override { ::unsetenv("JACK_DEFAULT_SERVER"); }

    std::unique_ptr<AudioHostClient> makeClient(int requestTimeoutMs = 10000) {
        AudioHostClient::Options options;
        options.program = QV_AUDIOHOST_PATH;
        options.settings = &settings;
        options.requestTimeoutMs = requestTimeoutMs;
        options.log = [this](std::string_view text) {
            std::lock_guard<std::mutex> lock(logMutex);
            log += std::string(text) + "\n";
        };
        return std::make_unique<AudioHostClient>(options);
    }

    // What the program and the host print (the host through its pipes).
    OutputCapture capture{[this](OutputStream stream, std::string_view text) {
        std::lock_guard<std::mutex> lock(logMutex);
        (stream == OutputStream::StandardOutput ? out : err).append(text);
    }};
    LiveSettings settings;
    std::string out, err;
    std::mutex logMutex;
    std::string log;
};

TEST_F(AudioHostClientTest, AHostThatDiedIsReplacedByTheNextRequest) {
    auto client = makeClient();
    client->start();
    const int first = client->hostPid();
    ASSERT_GT(first, 0) << client->lastErrorText();

    // No device configured: initAudio answers, and says why in the log; the
    // host's console line comes on our standard output before our next one.
    EXPECT_FALSE(client->initAudio().ok);
    outWrite("the program's line\n");
    EXPECT_NE(log.find("initAudio: no device configured (devIdx=-1)"), std::string::npos) << log;
    EXPECT_EQ(client->hostPid(), first);
    ASSERT_TRUE(outputFlush(2000));
    {
        std::lock_guard<std::mutex> lock(logMutex);
        EXPECT_NE(out.find("  WARNING: No audio device configured. Run the device wizard.\nthe program's line\n"),
                  std::string::npos)
            << out;
    }

    ::kill(first, SIGKILL);
    ASSERT_TRUE(eventually([&] { return !processExists(first) || ::waitpid(first, nullptr, WNOHANG) == first; }));
    log.clear();
    EXPECT_FALSE(client->initAudio().ok);
    EXPECT_GT(client->hostPid(), 0);
    EXPECT_NE(client->hostPid(), first);
    EXPECT_NE(log.find("initAudio: no device configured"), std::string::npos) << log;
}

TEST_F(AudioHostClientTest, AHostThatStopsAnsweringIsKilledAndTheRequestFails) {
    auto client = makeClient(1000);
    client->start();
    const int stopped = client->hostPid();
    ASSERT_GT(stopped, 0) << client->lastErrorText();
    ::kill(stopped, SIGSTOP);

    // The request's time-out is the behaviour: 1 s, and a little for the
    // kill; a host that is waited for without end never returns.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(client->initAudio().ok);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_EQ(client->lastErrorText(),
              "Audio system not responding: the audio host did not answer within 1000 ms (has the audio server "
              "stopped?)");
    EXPECT_EQ(client->hostPid(), -1);
    EXPECT_FALSE(processExists(stopped)) << "the stopped host was killed and reaped";
    EXPECT_EQ(client->streamCount(), 0);
}

TEST_F(AudioHostClientTest, InterruptEndsARequestThatWaitsForAHungHostAtOnce) {
    auto client = makeClient(60000);
    client->start();
    const int hung = client->hostPid();
    ASSERT_GT(hung, 0) << client->lastErrorText();
    ::kill(hung, SIGSTOP);

    std::atomic<bool> done{false};
    std::thread worker([&] {
        client->initAudio();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done.load());
    // Without the interrupt the request would wait its 60 s; with it, it ends
    // within a receive slice (a little more on a busy machine).
    const auto before = std::chrono::steady_clock::now();
    client->interrupt();
    EXPECT_TRUE(eventually([&] { return done.load(); }, 60000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    worker.join();
    EXPECT_FALSE(processExists(hung));
    // Shutting down: no new host is started.
    EXPECT_FALSE(client->initAudio().ok);
    EXPECT_EQ(client->hostPid(), -1);
}

TEST_F(AudioHostClientTest, ThirtyReplacedHostsLeaveNoProcessThreadOrDescriptorBehind) {
    auto client = makeClient();
    client->start();
    ASSERT_GT(client->hostPid(), 0) << client->lastErrorText();
    const int descriptors = entries("/proc/self/fd");
    const int threads = entries("/proc/self/task");
    std::vector<int> hosts;
    for (int attempt = 0; attempt < 30; ++attempt) {
        hosts.push_back(client->hostPid());
        client->reEnumerate();
        ASSERT_GT(client->hostPid(), 0) << client->lastErrorText();
        EXPECT_FALSE(client->initAudio().ok);
    }
    EXPECT_EQ(entries("/proc/self/fd"), descriptors);
    // A joined thread is still listed for a moment: the kernel wakes the
    // join before it lets the thread's entry go.
    EXPECT_TRUE(eventually([&] { return entries("/proc/self/task") == threads; }, 5000))
        << entries("/proc/self/task") << " threads, " << threads << " before";
    for (int pid : hosts)
        EXPECT_FALSE(processExists(pid)) << pid;
    const int last = client->hostPid();
    client.reset();
    EXPECT_FALSE(processExists(last));
}

TEST(AudioHostProtocol, TheDeviceListCrossesWholeAndMalformedListsAreRefused) {
    std::vector<PhysicalDevice> devices(2);
    devices[0].hardwareName = "system";
    devices[0].maxChannels = 8;
    devices[0].enabled = true;
    DeviceInfo jack;
    jack.paIndex = 3;
    jack.hostApiName = "JACK";
    jack.hostApiType = 8;
    jack.maxOutputChannels = 8;
    jack.defaultLowOutputLatencyMs = 5.33;
    devices[0].apis = {jack, jack};
    devices[0].apis[1].clsid = "{X}";
    devices[0].apis[1].asioFlag = true;
    devices[1].hardwareName = "";
    devices[1].suitable = false;
    devices[1].selectedApi = -1;

    const std::string bytes = encodeDeviceList(devices);
    std::vector<PhysicalDevice> decoded;
    ASSERT_TRUE(decodeDeviceList(bytes.data(), bytes.size(), decoded));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0].hardwareName, "system");
    EXPECT_EQ(decoded[0].maxChannels, 8);
    EXPECT_TRUE(decoded[0].enabled);
    ASSERT_EQ(decoded[0].apis.size(), 2u);
    EXPECT_EQ(decoded[0].apis[0].paIndex, 3);
    EXPECT_EQ(decoded[0].apis[0].hostApiName, "JACK");
    EXPECT_DOUBLE_EQ(decoded[0].apis[0].defaultLowOutputLatencyMs, 5.33);
    EXPECT_EQ(decoded[0].apis[1].clsid, "{X}");
    EXPECT_TRUE(decoded[0].apis[1].asioFlag);
    EXPECT_FALSE(decoded[1].suitable);
    EXPECT_EQ(decoded[1].selectedApi, -1);

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string wrongKind = bytes;
    wrongKind[0] = 9;
    std::string hugeText = bytes;
    hugeText[8] = '\xff';  // the first name's length
    std::string unknownFlag = bytes;
    unknownFlag[8 + 4 + 6 + 12] = 4;  // after the name ("system") and three counts
    const std::vector<Case> cases = {
        {"empty", ""},
        {"wrong kind", wrongKind},
        {"cut in the middle", bytes.substr(0, bytes.size() / 2)},
        {"cut by one byte", bytes.substr(0, bytes.size() - 1)},
        {"trailing bytes", bytes + "x"},
        {"a name longer than the message", hugeText},
        {"an unknown flag", unknownFlag},
    };
    for (const Case& c : cases) {
        decoded.assign(1, PhysicalDevice());
        EXPECT_FALSE(decodeDeviceList(c.bytes.data(), c.bytes.size(), decoded)) << c.what;
        EXPECT_TRUE(decoded.empty()) << c.what;
    }

    // The input list travels the same way; a device list is not one.
    std::vector<InputDevice> inputs(2);
    inputs[0].paIndex = 4;
    inputs[0].name = "system";
    inputs[0].hostApiName = "JACK";
    inputs[0].inputChannels = 2;
    inputs[1].name = "(unknown)";
    const std::string inputBytes = encodeInputList(inputs);
    std::vector<InputDevice> back;
    ASSERT_TRUE(decodeInputList(inputBytes.data(), inputBytes.size(), back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].paIndex, 4);
    EXPECT_EQ(back[0].name, "system");
    EXPECT_EQ(back[0].hostApiName, "JACK");
    EXPECT_EQ(back[0].inputChannels, 2);
    EXPECT_EQ(back[1].name, "(unknown)");
    EXPECT_FALSE(decodeInputList(inputBytes.data(), inputBytes.size() - 1, back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(decodeInputList(bytes.data(), bytes.size(), back));

    // PortAudio's own list too, an error count with its text included.
    RawDeviceList raw;
    raw.count = 2;
    raw.devices.resize(2);
    raw.devices[0].present = true;
    raw.devices[0].name = "hw:0";
    raw.devices[0].hostApiName = "ALSA";
    raw.devices[0].hostApiType = 8;
    raw.devices[0].maxInputChannels = 2;
    raw.devices[0].defaultSampleRate = 44100.0;
    const std::string rawBytes = encodeRawDeviceList(raw);
    RawDeviceList rawBack;
    ASSERT_TRUE(decodeRawDeviceList(rawBytes.data(), rawBytes.size(), rawBack));
    EXPECT_EQ(rawBack.count, 2);
    ASSERT_EQ(rawBack.devices.size(), 2u);
    EXPECT_EQ(rawBack.devices[0].name, "hw:0");
    EXPECT_EQ(rawBack.devices[0].hostApiType, 8);
    EXPECT_EQ(rawBack.devices[0].maxInputChannels, 2);
    EXPECT_DOUBLE_EQ(rawBack.devices[0].defaultSampleRate, 44100.0);
    EXPECT_FALSE(rawBack.devices[1].present);
    EXPECT_FALSE(decodeRawDeviceList(rawBytes.data(), rawBytes.size() - 1, rawBack));
    EXPECT_TRUE(rawBack.devices.empty());
    raw = RawDeviceList();
    raw.count = -10000;
    raw.errorText = "PortAudio not initialized";
    const std::string errorBytes = encodeRawDeviceList(raw);
    ASSERT_TRUE(decodeRawDeviceList(errorBytes.data(), errorBytes.size(), rawBack));
    EXPECT_EQ(rawBack.count, -10000);
    EXPECT_EQ(rawBack.errorText, "PortAudio not initialized");
}

}  // namespace
}  // namespace qv::test
