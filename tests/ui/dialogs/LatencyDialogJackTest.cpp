// The latency dialog end to end on a private JACK server: the audio runtime
// publishes the inputs, the dialog asks for a test on jackd's loopback
// client (output wired to input one period later), the run loop's service
// call starts the worker, and the dialog shows the measured figure.

#include "ui/dialogs/LatencyDialog.h"

#include "app/AudioRuntime.h"
#include "audio/AudioStatus.h"
#include "platform/Output.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace qv::test {
namespace {

TEST(LatencyDialogJack, TheDialogsRequestMeasuresAFewMillisecondsOnTheWire) {
    OutputCapture quiet([](OutputStream, std::string_view) {});
    resetAudioStatus();
    JackServer server;
    JackServer::Options serverOptions;
    serverOptions.loopbackPorts = 2;
    ASSERT_TRUE(server.start(serverOptions)) << server.lastError();
    ASSERT_TRUE(eventually([&] { return server.ports("^loopback:").size() == 4; })) << server.log();

    TempDir dir;
    WatchdogLog watchdog;
    ASSERT_TRUE(watchdog.open(dir.file("watchdog.log")));
    LiveSettings settings;
    settings.edit(
        [](HapticSettings& s) {
            s.audioDeviceIndex = 0;
            copyText(s.devices[0].name, "loopback");
            copyText(s.devices[0].api, "JACK");
            s.devices[0].channels = 2;
        },
        false);
    AudioRuntime::Options options;
    options.watchdog = &watchdog;
    options.settings = &settings;
    AudioRuntime runtime(options);
    runtime.start();
    ASSERT_TRUE(runtime.waitUntilStarted(30000));
    ASSERT_EQ(runtime.audioOk(), 1) << runtime.engine()->lastErrorText();

    LatencyDialogState dialog;
    initLatencyDialog(dialog, inputDevices());
    int wire = -1;
    for (int i = 0; i < dialog.inputList.count; ++i)
        if (std::string(dialog.inputList.items[i]).rfind("loopback (", 0) == 0)  // the name, then its host API
            wire = i;
    ASSERT_GE(wire, 0) << "inputs listed: " << dialog.inputList.count;
    dialog.inputList.selected = wire;
    startLatencyTest(dialog);
    ASSERT_EQ(dialog.testState, kLatencyTesting);

    // The run loop's pass and the dialog's poll timer, until the dialog has
    // an answer (it gives up by itself after 15 s).
    ASSERT_TRUE(eventually(
        [&] {
            runtime.serviceLatencyRequest();
            latencyDialogTimer(kLatencyPollTimer, 0, 0, &dialog);
            return dialog.testState != kLatencyTesting;
        },
        30000));
    EXPECT_EQ(dialog.testState, kLatencyResult) << dialog.statusText;
    std::printf("latency dialog on the wire: %s\n", dialog.statusText.c_str());
    const float oneWay = gLatencyTestResultMs.load();
    EXPECT_GT(oneWay, 0.5f);
    EXPECT_LT(oneWay, 20.0f);
    EXPECT_EQ(dialog.statusText.rfind("One-way: ", 0), 0u) << dialog.statusText;

    ASSERT_TRUE(eventually([&] { return !runtime.isWorkerBusy(); }, 30000));
    EXPECT_EQ(runtime.audioOk(), 1);
    runtime.stopAcceptingWork();
    ASSERT_TRUE(runtime.waitIdle(10000));
    runtime.closeAll();
    resetAudioStatus();
}

}  // namespace
}  // namespace qv::test
