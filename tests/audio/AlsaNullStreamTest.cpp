// Open and close plumbing on real ALSA: two null PCM devices defined in the
// .asoundrc of a test HOME (they swallow what they get, as fast as they get
// it, so nothing here is paced). No JACK server is reachable in this program.

#include "audio/AudioEngine.h"
#include "support/CapturedOutput.h"
#include "support/Eventually.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qv::test {
namespace {

// HOME must point at the test configuration before ALSA first reads its
// configuration, so it is set before any test of this program runs.
class AlsaNullHome : public ::testing::Environment {
public:
    void SetUp() override {
        m_home = std::make_unique<TempDir>();
        ASSERT_TRUE(writeFile(m_home->file(".asoundrc"),
                              "pcm.qvnull_a {\n    type null\n    hint { show on description \"QV null A\" }\n}\n"
                              "pcm.qvnull_b {\n    type null\n}\n"));
        ::setenv("HOME", m_home->path().c_str(), 1);
        ::setenv("JACK_DEFAULT_SERVER", uniqueName("qvnojack").c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<TempDir> m_home;
};

[[maybe_unused]] ::testing::Environment* const gAlsaNullHome = ::testing::AddGlobalTestEnvironment(new AlsaNullHome);

class AlsaNullStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<AudioEngine>();
        ASSERT_TRUE(engine->isPortAudioInitialised()) << engine->lastErrorText();
        list = engine->devices();
        for (const PhysicalDevice& device : list) {
            if (device.hardwareName == "qvnull_a")
                a = device;
            if (device.hardwareName == "qvnull_b")
                b = device;
        }
        ASSERT_FALSE(a.apis.empty()) << output.out();
        ASSERT_FALSE(b.apis.empty()) << output.out();
    }

    CapturedOutput output;
    std::unique_ptr<AudioEngine> engine;
    std::vector<PhysicalDevice> list;
    PhysicalDevice a, b;
    std::atomic<long> blocks[2] = {0, 0};
};

TEST_F(AlsaNullStreamTest, NullDevicesAreListedUnderAlsaAndTheLibrariesStayQuiet) {
    for (const PhysicalDevice* device : {&a, &b}) {
        ASSERT_EQ(device->apis.size(), 1u);
        EXPECT_EQ(device->apis[0].hostApiName, "ALSA");
        EXPECT_GT(device->apis[0].maxOutputChannels, 8);
        EXPECT_EQ(device->maxChannels, 8);
        EXPECT_TRUE(device->suitable);
    }
    // ALSA complains about the missing sound cards and JACK about the missing
    // server while PortAudio probes; none of it reaches the console.
    EXPECT_EQ(output.err(), "");
}

TEST_F(AlsaNullStreamTest, ANullDeviceOpensRunsAndCloses) {
    engine->setRenderCallback([this](int32_t streamIndex, AudioBuffer&) { ++blocks[streamIndex]; });
    ASSERT_TRUE(engine->openDevice(a.apis[0].paIndex, 0, 48000.0, 256, "")) << engine->lastErrorText();
    EXPECT_EQ(engine->streamChannels(), 8);
    EXPECT_EQ(engine->streamSampleRate(), 48000.0);
    ASSERT_TRUE(engine->startAll());
    EXPECT_TRUE(eventually([&] { return engine->hasFirstCallback() && blocks[0].load() > 10; }));
    engine->closeAll();
    EXPECT_EQ(engine->streamCount(), 0);
    EXPECT_FALSE(engine->isAudioSystemStuck());
}

TEST_F(AlsaNullStreamTest, TwoNullDevicesRunAsTwoStreamsAndReEnumerationClosesThem) {
    engine->setRenderCallback([this](int32_t streamIndex, AudioBuffer&) { ++blocks[streamIndex]; });
    std::vector<PhysicalDevice> chosen = {a, b};
    for (PhysicalDevice& device : chosen) {
        device.enabled = true;
        device.maxChannels = 2;
        device.bufferSize = 512;
    }
    ASSERT_TRUE(engine->openMultiDevice(chosen, 48000.0)) << engine->lastErrorText();
    ASSERT_EQ(engine->streamCount(), 2);
    EXPECT_EQ(engine->stream(1)->deviceChannels, 2);
    ASSERT_TRUE(engine->startAll());
    EXPECT_TRUE(eventually([&] { return blocks[0].load() > 10 && blocks[1].load() > 10; }));

    const std::vector<PhysicalDevice> again = engine->reinitialise();
    EXPECT_EQ(engine->streamCount(), 0);
    EXPECT_EQ(again.size(), list.size());
    EXPECT_FALSE(engine->isAudioSystemStuck());
    EXPECT_TRUE(engine->isPortAudioInitialised());
}

}  // namespace
}  // namespace qv::test
