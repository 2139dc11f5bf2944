// The latency dialog against the request and result values, with a fake
// device list and the test playing the latency worker: the list, a result,
// failures with and without the worker's reason, the time-out that withdraws
// a request nobody took, and a busy earlier request.

#include "ui/dialogs/LatencyDialog.h"

#include "audio/AudioStatus.h"
#include "support/GraphicsFixture.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/dialogs/DialogTestSupport.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

std::vector<InputDevice> fakeInputs(int count) {
    std::vector<InputDevice> inputs;
    for (int i = 0; i < count; ++i)
        inputs.push_back({i * 2 + 1, "Input " + std::to_string(i), "ALSA", 2});
    return inputs;
}

// What the latency worker does, as the main loop would run it.
void workerAnswers(float result, const std::string& error) {
    int32_t pending = kLatencyRequestPending;
    ASSERT_TRUE(gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestTaken));
    setLatencyTestError(error);
    gLatencyTestResultMs = result;
    gLatencyTestRequest = kLatencyRequestNone;
}

class LatencyDialogTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        resetAudioStatus();
        resetLastDialogClose();
    }
    void TearDown() override {
        resetAudioStatus();
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
    void open(const std::vector<InputDevice>& inputs) {
        initLatencyDialog(state, inputs, &clock);
        image = paintOnce(paintLatencyDialog, state, 480, 320);
    }
    void run() { clickRect(latencyDialogMouse, state, state.runButton.rect); }
    bool poll() { return latencyDialogTimer(kLatencyPollTimer, 0, 0, &state); }

    ManualClock clock;
    LatencyDialogState state;
    std::unique_ptr<ImageTarget> image;
};

TEST_F(LatencyDialogTest, WithoutInputsRunTestDoesNothing) {
    std::vector<InputDevice> outputsOnly = {{0, "Speakers", "ALSA", 0}};
    open(outputsOnly);
    EXPECT_EQ(state.statusText, "No input devices found -- check your audio driver.");
    EXPECT_FALSE(state.runButton.enabled);
    run();
    startLatencyTest(state);
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestNone);
    EXPECT_EQ(state.testState, kLatencyIdle);
    saveRender(*image, "latency_dialog_no_inputs");
}

// Forty inputs: the first 32 are listed with their host API; the open list
// stays inside the dialog and scrolls, so every one can be chosen, by the
// wheel and a click or by the arrow keys.
TEST_F(LatencyDialogTest, FortyInputsListTheFirstThirtyTwoAndEveryOneIsReachable) {
    open(fakeInputs(40));
    EXPECT_EQ(state.inputList.count, 32);
    EXPECT_STREQ(state.inputList.items[31], "Input 31 (ALSA)");
    EXPECT_EQ(state.inputIndex[31], 63);
    EXPECT_EQ(state.statusText, "Select an input device and press Run Test.");
    clickRect(latencyDialogMouse, state, state.inputList.rect);
    ASSERT_TRUE(state.inputList.open);
    image = paintOnce(paintLatencyDialog, state, 480, 320);
    saveRender(*image, "latency_dialog_list");
    EXPECT_LE(state.inputList.listRect.bottom, 320.0f);
    const int visible = dropdownVisibleRows(state.inputList);
    EXPECT_EQ(visible, 7);
    // The list's last row shows items below the box (not the dialog's
    // background): the rows are drawn inside the list.
    const Rgba8 background = image->pixel(470, 316);
    EXPECT_GT(inkedPixels(*image, 30, static_cast<int>(dropdownRowY(state.inputList, visible - 1)) - 6, 200,
                          static_cast<int>(dropdownRowY(state.inputList, visible - 1)) + 6, background),
              20);
    // The wheel scrolls to the end; the last row is then the last input.
    const uintptr_t down = static_cast<uintptr_t>(static_cast<uint16_t>(-120)) << 16;
    for (int i = 0; i < 40; ++i)
        latencyDialogMouse(kWmMouseWheel, midX(state.inputList.listRect), dropdownRowY(state.inputList, 0), down, &state);
    EXPECT_EQ(state.inputList.scroll, 32 - visible);
    clickAt(latencyDialogMouse, state, midX(state.inputList.listRect), dropdownRowY(state.inputList, visible - 1));
    EXPECT_FALSE(state.inputList.open);
    EXPECT_EQ(state.inputList.selected, 31);
    // The arrow keys move the choice, with the list closed or open.
    latencyDialogKey(kWmKeyDown, kVkDown, 0, &state);
    EXPECT_EQ(state.inputList.selected, 31);
    for (int i = 0; i < 28; ++i)
        latencyDialogKey(kWmKeyDown, kVkUp, 0, &state);
    EXPECT_EQ(state.inputList.selected, 3);
    clickRect(latencyDialogMouse, state, state.inputList.rect);
    ASSERT_TRUE(state.inputList.open);
    EXPECT_LE(state.inputList.scroll, 3);  // the choice is in view
    EXPECT_GT(state.inputList.scroll + visible, 3);
    latencyDialogKey(kWmKeyDown, kVkReturn, 0, &state);
    EXPECT_FALSE(state.inputList.open);
    // The chosen item's index and full name go with the request.
    run();
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestPending);
    EXPECT_EQ(gLatencyInputDevice.load(), 7);
    EXPECT_EQ(latencyInputName(), "Input 3");
    EXPECT_FLOAT_EQ(gLatencyTestResultMs.load(), -1.0f);
}

// Two inputs of the same name are told apart by their host API; a long
// name is cut so that the host API still shows.
TEST_F(LatencyDialogTest, EntriesShowTheirHostApi) {
    open({{1, "USB Audio", "ALSA", 2}, {4, "USB Audio", "JACK Audio Connection Kit", 2},
          {5, std::string(80, 'n'), "OSS", 1}});
    EXPECT_STREQ(state.inputList.items[0], "USB Audio (ALSA)");
    EXPECT_STREQ(state.inputList.items[1], "USB Audio (JACK Audio Connection Kit)");
    const std::string cut = state.inputList.items[2];
    EXPECT_EQ(cut.substr(cut.size() - 6), " (OSS)");
    EXPECT_LE(cut.size(), 63u);
    EXPECT_EQ(state.inputNames[2], std::string(80, 'n'));
}

TEST_F(LatencyDialogTest, AResultShowsOneWayAndRoundTripInTheAccentColour) {
    open(fakeInputs(2));
    run();
    EXPECT_EQ(state.testState, kLatencyTesting);
    EXPECT_EQ(state.statusText, "Testing... (may take a few seconds)");
    EXPECT_FALSE(state.runButton.enabled);
    run();  // a second press while testing is ignored
    EXPECT_FALSE(poll()) << "still waiting";
    workerAnswers(12.34f, "");
    EXPECT_TRUE(poll());
    EXPECT_EQ(state.testState, kLatencyResult);
    EXPECT_EQ(state.statusText, "One-way: 12.3 ms  (round-trip: 24.7 ms)");
    EXPECT_TRUE(state.runButton.enabled);
    image = paintOnce(paintLatencyDialog, state, 480, 320);
    saveRender(*image, "latency_dialog_result");
    const Color accent = currentAccent().base;
    const Rgba8 want{static_cast<uint8_t>(accent.r * 255 + 0.5f), static_cast<uint8_t>(accent.g * 255 + 0.5f),
                     static_cast<uint8_t>(accent.b * 255 + 0.5f), 255};
    int accentPixels = 0;
    for (int y = 180; y < 220; ++y)
        for (int x = 20; x < 460; ++x)
            accentPixels += colorNear(image->pixel(x, y), want, 40) ? 1 : 0;
    EXPECT_GT(accentPixels, 20);
    // From a result a new test can start.
    run();
    EXPECT_EQ(state.testState, kLatencyTesting);
}

TEST_F(LatencyDialogTest, FailuresShowTheWorkersReasonOrTheCableHint) {
    struct Case {
        float result;
        std::string error;
        std::string status;
    };
    const Case cases[] = {
        {-1.0f, "", "Test failed -- check the loopback cable and try again."},
        {-1.0f, "Loopback Pa_OpenStream failed: Invalid device",
         "Test failed: Loopback Pa_OpenStream failed: Invalid device"},
        {-1.0f, "The device list changed: \"Input 0\" is no longer input 1. Choose the input again.",
         "Test failed: The device list changed: \"Input 0\" is no longer input 1. Choose the input again."},
        {0.0f, "", "Test failed -- check the loopback cable and try again."},
    };
    open(fakeInputs(1));
    for (const Case& c : cases) {
        run();
        workerAnswers(c.result, c.error);
        EXPECT_TRUE(poll());
        EXPECT_EQ(state.testState, kLatencyFailed);
        EXPECT_EQ(state.statusText, c.status);
    }
    image = paintOnce(paintLatencyDialog, state, 480, 320);
    saveRender(*image, "latency_dialog_failed");
}

TEST_F(LatencyDialogTest, ARequestNobodyTakesIsWithdrawnAfterFifteenSeconds) {
    open(fakeInputs(1));
    run();
    clock.advanceMs(14999);
    EXPECT_FALSE(poll());
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestPending);
    clock.advanceMs(1);
    EXPECT_TRUE(poll());
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestNone) << "withdrawn: it never starts later";
    EXPECT_EQ(state.testState, kLatencyFailed);
    EXPECT_EQ(state.statusText, "The test did not start within 15 s (the audio system is busy) -- try again.");
    EXPECT_TRUE(state.runButton.enabled);
}

TEST_F(LatencyDialogTest, ATestThatRunsTooLongIsLeftToFinishAndBlocksANewOne) {
    open(fakeInputs(1));
    run();
    int32_t pending = kLatencyRequestPending;
    ASSERT_TRUE(gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestTaken));
    clock.advanceMs(15000);
    EXPECT_TRUE(poll());
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestTaken);
    EXPECT_EQ(state.statusText, "The test gave no result within 15 s -- try again.");
    run();
    EXPECT_EQ(state.testState, kLatencyFailed);
    EXPECT_EQ(state.statusText, "An earlier latency test is still running -- try again in a moment.");
    gLatencyTestRequest = kLatencyRequestNone;  // the worker finishes
    run();
    EXPECT_EQ(state.testState, kLatencyTesting);
}

TEST_F(LatencyDialogTest, ClosingWithdrawsAPendingRequestAndEscapeClosesWithZero) {
    open(fakeInputs(1));
    run();
    latencyDialogKey(kWmKeyDown, kVkEscape, 0, &state);
    EXPECT_TRUE(lastDialogClose().requested);
    EXPECT_EQ(lastDialogClose().code, 0);
    EXPECT_EQ(gLatencyTestRequest.load(), kLatencyRequestNone);
    resetLastDialogClose();
    open(fakeInputs(1));
    clickRect(latencyDialogMouse, state, state.closeButton.rect);
    EXPECT_TRUE(lastDialogClose().requested);
}

}  // namespace
}  // namespace qv::test
