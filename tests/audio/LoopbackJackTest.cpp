// The loopback latency test for real, on a private JACK server with the
// dummy back-end: jackd's loopback client is the cable (what is played into
// it comes back one period later), the dummy "system" device is a card with
// nothing plugged in.

#include "audio/AudioEngine.h"
#include "support/CapturedOutput.h"
#include "support/Eventually.h"
#include "support/JackServer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv::test {
namespace {

constexpr int kPeriodFrames = 256;

class LoopbackJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        JackServer::Options options;
        options.periodFrames = kPeriodFrames;
        options.loopbackPorts = 2;
        ASSERT_TRUE(server.start(options)) << server.lastError();
        ASSERT_TRUE(eventually([this] { return server.ports("^loopback:").size() == 4; })) << server.log();
    }

    // The PortAudio index of the JACK device named name.
    static int jackDevice(AudioEngine& engine, const std::string& name) {
        for (const PhysicalDevice& device : engine.devices()) {
            if (device.hardwareName != name)
                continue;
            for (const DeviceInfo& variant : device.apis)
                if (variant.hostApiType == paJACK)
                    return variant.paIndex;
        }
        return -1;
    }

    // Plays silence on the device, as the shakers' stream would.
    static void playOn(AudioEngine& engine, int device) {
        ASSERT_TRUE(engine.openDevice(device, 2, 48000.0, kPeriodFrames, "")) << engine.lastErrorText();
        engine.setRenderCallback([](int32_t, AudioBuffer&) {});
        ASSERT_TRUE(engine.startAll()) << engine.lastErrorText();
    }

    CapturedOutput output;
    JackServer server;
};

TEST_F(LoopbackJackTest, TheLoopbackWireMeasuresWhatItDelays) {
    AudioEngine engine;
    ASSERT_TRUE(engine.isPortAudioInitialised()) << engine.lastErrorText();
    const int loopback = jackDevice(engine, "loopback");
    ASSERT_GE(loopback, 0) << output.out();
    EXPECT_EQ(engine.findLoopbackInputDevice(loopback), loopback) << "the wire's own inputs";
    playOn(engine, loopback);

    const double oneWay = engine.runLoopbackTest(-1);
    // One period through the loopback client and as many more as JACK's
    // graph order and PortAudio add on the way: whole periods of 256 frames
    // at 48 kHz, a few ms (two periods, 5.33 ms one way, on jackd 1.9.21).
    const double periodMs = kPeriodFrames / 48.0;
    ASSERT_GT(oneWay, 0.0) << output.out() << output.err() << server.log();
    const double periods = oneWay * 2.0 / periodMs;
    EXPECT_NEAR(periods, std::round(periods), 1e-9) << oneWay;
    EXPECT_GE(periods, 1.0);
    EXPECT_LE(periods, 3.0);
    EXPECT_EQ(engine.measuredLatencyMs(), oneWay);
    EXPECT_NE(output.out().find("  [Loopback Test] SUCCESS\n"), std::string::npos) << output.out();
    EXPECT_EQ(engine.streamCount(), 0) << "the caller brings the shakers' streams back";

    // The engine can play again after the test.
    playOn(engine, loopback);
    EXPECT_TRUE(engine.anyStreamRunning());
}

TEST_F(LoopbackJackTest, WithoutAWireNoSignalComesBack) {
    AudioEngine engine;
    const int system = jackDevice(engine, "system");
    ASSERT_GE(system, 0) << output.out();
    playOn(engine, system);
    EXPECT_EQ(engine.runLoopbackTest(system), -1.0);
    EXPECT_NE(output.out().find("  [Loopback Test] No signal detected -- check cable connection\n"), std::string::npos)
        << output.out();
    EXPECT_EQ(engine.measuredLatencyMs(), -1.0);
}

}  // namespace
}  // namespace qv::test
