// Both dialogs driving the real synthesis on a private JACK server (dummy
// back-end), recorded with jack_capture: HOLD TEST plays the test tone on the
// zone's channel only and stops when released; a route changed in the
// routing dialog is heard on the zone's channel while an effect preview is
// held, and nowhere else.

#include "ui/dialogs/ChannelRoutingDialog.h"
#include "ui/dialogs/ZoneSetupDialog.h"

#include "app/AudioRuntime.h"
#include "audio/SynthState.h"
#include "platform/Output.h"

#include "DialogDriver.h"
#include "audio/SignalAnalysis.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace qv {
namespace {

constexpr double kRate = 48000.0;
constexpr int kOutputs = 8;

// First and last sample above the threshold on one channel, -1 when none.
std::pair<long, long> soundingSpan(const std::vector<float>& x, float threshold = 1e-4f) {
    long first = -1;
    long last = -1;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) {
            if (first < 0)
                first = static_cast<long>(i);
            last = static_cast<long>(i);
        }
    }
    return {first, last};
}

class ZoneDialogsJackTest : public test::DialogFixture {};

TEST_F(ZoneDialogsJackTest, HeldTestToneAndChangedRoutesAreHeardOnTheirChannelsOnly) {
    OutputCapture quiet([](OutputStream, std::string_view) {});
    test::JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    // The JACK device "system" with its 8 outputs; zone 1 ("RF") on channel
    // 5, the other corners on 0, 2 and 3; the road effect at full level.
    edit([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        copyText(s.devices[0].name, "system");
        copyText(s.devices[0].api, "JACK");
        s.devices[0].channels = 0;
        s.zones[1].channel = 5;
        s.effectProfiles[kIRacing].roadVibration = 1.0f;
    });
    AudioRuntime runtime;
    runtime.start();
    ASSERT_TRUE(runtime.waitUntilStarted(30000));
    ASSERT_EQ(runtime.audioOk(), 1) << runtime.engine()->lastErrorText();
    ASSERT_EQ(runtime.audioChannels(), kOutputs);
    ASSERT_TRUE(test::eventually([&] { return runtime.engine()->hasFirstCallback(); }));

    GuiHost host;
    host.testToneFn = [&](int channel, int ms, float gain, int slot) { runtime.playTestTone(channel, ms, gain, slot); };
    host.effectPreviewFn = [&](int effect, bool on) { runtime.setEffectPreview(effect, on); };

    test::TempDir dir;
    const std::string wavPath = dir.file("dialogs.wav");
    std::vector<std::string> ports;
    for (int i = 1; i <= kOutputs; ++i)
        ports.push_back("system:playback_" + std::to_string(i));
    bool captured = false;
    std::string captureError;
    std::thread recorder([&] { captured = test::jackCapture(server, ports, 5, wavPath, &captureError); });
    // The recording runs once its file grows past the header.
    ASSERT_TRUE(test::eventually([&] {
        std::error_code ec;
        return std::filesystem::file_size(wavPath, ec) > 64 * 1024 && !ec;
    }, 30000)) << "jack_capture did not start recording";

    // HOLD TEST on zone 1, released well within the tone's 500 ms.
    ZoneSetupState zones;
    initZoneSetup(zones, &host);
    test::DialogDriver zoneDialog(zoneSetupSpec(zones, nullptr));
    zoneDialog.paint();
    const RectF test = zones.rows[1].testButton;
    const auto pressed = std::chrono::steady_clock::now();
    zoneDialog.down(test.centerX(), test.centerY());
    EXPECT_TRUE(runtime.synth().isToneActive());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    zoneDialog.up(0, 0);
    const double heldSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
    EXPECT_FALSE(runtime.synth().isToneActive());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));

    // Road to zone 2 ("LR", channel 2) only: right-clicks take it off the
    // other corners; then the road preview is held for a second.
    ChannelRoutingState routing;
    initChannelRouting(routing, &host);
    test::DialogDriver routingDialog(channelRoutingSpec(routing, nullptr));
    routingDialog.paint();
    for (int column : {0, 1, 3}) {
        const RectF cell = routing.cells[kRoadVibration][column].rect;
        routingDialog.mouse(kWmRButtonDown, cell.centerX(), cell.centerY());
    }
    const RectF play = routing.playRects[kRoadVibration];
    routingDialog.down(play.centerX(), play.centerY());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    routingDialog.up(0, 0);
    EXPECT_FALSE(runtime.synth().isPreviewActive());

    recorder.join();
    runtime.stopAcceptingWork();
    ASSERT_TRUE(runtime.waitIdle(10000));
    runtime.closeAll();
    ASSERT_TRUE(captured) << captureError;

    test::WavData wav;
    std::string error;
    ASSERT_TRUE(test::readWav(wavPath, wav, &error)) << error;
    ASSERT_EQ(wav.channels.size(), static_cast<size_t>(kOutputs));
    for (int c : {0, 1, 3, 4, 6, 7})
        EXPECT_EQ(test::peakAbs(wav.channels[static_cast<size_t>(c)]), 0.0) << "channel " << c;

    // The tone: 60 Hz on channel 5 at 0.85 x 0.7, ended by the release.
    const auto tone = soundingSpan(wav.channels[5]);
    ASSERT_GE(tone.first, 0) << "no tone recorded";
    EXPECT_NEAR(test::peakAbs(wav.channels[5]), 0.85 * 0.7, 0.02);
    // Its level where it was steady (three periods, anywhere in the span: a
    // loaded machine may have held the audio back in part of it).
    EXPECT_NEAR(test::bestToneAmplitude(wav.channels[5], 60.0, kRate, static_cast<size_t>(tone.first),
                                        static_cast<size_t>(tone.second), 2400),
                0.85 * 0.7, 0.1);
    if (heldSeconds < 0.4) {
        EXPECT_LT(static_cast<double>(tone.second - tone.first) / kRate, 0.47)
            << "the tone ran on after the release (held " << heldSeconds << " s)";
    }

    // The road preview on channel 2 only, after the tone.
    const auto road = soundingSpan(wav.channels[2]);
    ASSERT_GE(road.first, 0) << "no road preview recorded on channel 2";
    EXPECT_GT(road.first, tone.second);
    EXPECT_GT(test::peakAbs(wav.channels[2]), 0.05);
    const double roadFreq = gSettings.snapshot().effectProfiles[kIRacing].freqRoadVib;
    EXPECT_GT(test::bestToneAmplitude(wav.channels[2], roadFreq, kRate, static_cast<size_t>(road.first),
                                      static_cast<size_t>(road.second), 9600),
              0.05);
}

}  // namespace
}  // namespace qv
