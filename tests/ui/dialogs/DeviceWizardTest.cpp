// The device wizard with fake device lists, a fake audio restart and fake
// tones: matching the saved devices, the steps driven through the dialog
// callbacks at the coordinates the layout gives, what it writes into the
// settings, and the three pages painted offscreen.

#include "ui/dialogs/DeviceWizard.h"

#include "ui/Appearance.h"

#include "support/GraphicsFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qv {
namespace {

constexpr int kAlsa = 8, kJack = 12, kOss = 7;
constexpr uint32_t kMove = 0x0200, kDown = 0x0201, kUp = 0x0202, kWheel = 0x020A, kKeyDown = 0x0100;

DeviceInfo variant(int paIndex, int type, int channels, double latencyMs = 5.3) {
    DeviceInfo v;
    v.paIndex = paIndex;
    v.hostApiType = type;
    v.hostApiName = type == kJack ? "JACK" : type == kAlsa ? "ALSA" : "OSS";
    v.maxOutputChannels = channels;
    v.defaultLowOutputLatencyMs = latencyMs;
    return v;
}

PhysicalDevice device(const std::string& name, std::vector<DeviceInfo> apis) {
    PhysicalDevice d;
    d.hardwareName = name;
    d.apis = std::move(apis);
    return d;
}

// A JACK server, an interface with an ALSA variant and a built-in card.
std::vector<PhysicalDevice> typicalDevices() {
    return {device("HDA Intel PCH", {variant(0, kAlsa, 2), variant(9, kOss, 2)}),
            device("Focusrite Scarlett 4i4", {variant(3, kAlsa, 4)}),
            device("system", {variant(7, kJack, 8)}),
            device("OSS only", {variant(8, kOss, 2)})};
}

struct ToneCall {
    int channel, durationMs;
    float gain;
    int stream;
};

class DeviceWizardTest : public ::testing::Test {
protected:
    void SetUp() override { settings.replace(HapticSettings()); }

    // Opens a wizard on `list` with the settings as they stand.
    void open(std::vector<PhysicalDevice> list) {
        devices = std::move(list);
        state = std::make_unique<WizardState>();
        WizardServices& s = state->services;
        s.settings = &settings;
        s.copyDevices = [this] { return devices; };
        s.copyRawDevices = [this] { return raw; };
        s.reopenAudio = [this](int paIndex, int channels, int frames) {
            reopens.push_back({paIndex, channels, frames});
            if (refuseRestarts > 0) {
                --refuseRestarts;
                return false;
            }
            restartSettings.push_back(settings.snapshot());
            return true;
        };
        s.testTone = [this](int channel, int ms, float gain, int stream) { tones.push_back({channel, ms, gain, stream}); };
        s.showWarning = [this](const char* title, const char* text) { boxes.push_back({title, text}); };
        s.closeDialog = [this](int code) { closeCode = code; };
        s.setTimer = [this](bool on) { timerOn = on; };
        s.setCapture = [this](bool on) { captured = on; };
        s.audioInitCount = [this] { return initCount; };
        s.audioReady = [this] { return audioReady; };
        state->log = &log;
        beginWizard(*state, logDir.path());
        layoutWizard(*state, 0, 0);
    }

    // The audio side finishes the running restart.
    void finishRestart(bool ok = true) {
        audioReady = ok;
        ++initCount;
        wizardTimer(kWizardTimerId, 0, 0, state.get());
    }

    bool press(const RectF& r) { return wizardMouse(kDown, r.centerX(), r.centerY(), 0, state.get()); }
    bool release() { return wizardMouse(kUp, 0, 0, 0, state.get()); }
    void click(const RectF& r) {
        press(r);
        release();
    }
    // Centre of row `row` (visible position) of a device list.
    RectF rowOf(const RectF& list, int row) {
        const float top = list.top + row * 28.0f;
        return {list.left, top, list.right, top + 28.0f};
    }
    void next() { click(state->next.rect); }
    // The typical devices with the JACK server at 1024 frames (granting the
    // size a client asks for or not), and 128 frames saved for it.
    std::vector<PhysicalDevice> jackServerAt1024With128Saved(bool takesRequest) {
        std::vector<PhysicalDevice> list = typicalDevices();
        list[2].apis[0].serverBufferFrames = 1024;
        list[2].apis[0].serverLatencyMs = 21.3;
        list[2].apis[0].serverTakesRequest = takesRequest;
        settings.edit([](HapticSettings& s) {
            s.audioDeviceIndex = 7;
            copyText(s.devices[0].api, "JACK");
            s.devices[0].bufferSize = 128;
        });
        return list;
    }

    std::string logText() {
        log.close();
        return test::readFile(logDir.file(kWizardLogFileName));
    }

    LiveSettings settings;
    std::vector<PhysicalDevice> devices;
    RawDeviceList raw;
    std::unique_ptr<WizardState> state;
    std::vector<std::array<int, 3>> reopens;
    std::vector<HapticSettings> restartSettings;
    int refuseRestarts = 0;
    std::vector<ToneCall> tones;
    std::vector<std::pair<std::string, std::string>> boxes;
    int closeCode = -99;
    bool timerOn = false, captured = false;
    int32_t initCount = 0;
    bool audioReady = true;
    test::TempDir logDir;
    WizardLog log;
};

TEST_F(DeviceWizardTest, ListsProAndDirectDevicesWithTheProClassFirst) {
    open(typicalDevices());
    ASSERT_EQ(state->devices.size(), 3u);
    EXPECT_EQ(state->devices[0].hardwareName, "system");
    EXPECT_EQ(state->devices[1].hardwareName, "HDA Intel PCH");
    EXPECT_EQ(state->devices[2].hardwareName, "Focusrite Scarlett 4i4");
    EXPECT_EQ(listWizardVariants(state->devices[1]), std::vector<int>{0});
    const std::string text = logText();
    EXPECT_NE(text.find("Filtered devices: 3"), std::string::npos) << text;
    EXPECT_NE(text.find("  [0] \"system\"  api=JACK  paIdx=7  maxCh=8"), std::string::npos);
}

// The log's enumeration block is PortAudio's own list, input-only devices
// and entries without a record included; a failed count says why.
TEST_F(DeviceWizardTest, TheLogListsPortAudiosOwnEnumeration) {
    raw.count = 3;
    raw.devices.resize(3);
    raw.devices[0] = {true, "USB Mic", "ALSA", kAlsa, 1, 0, 44100.0};
    raw.devices[2] = {true, "OSS only", "OSS", kOss, 0, 2, 48000.0};
    open(typicalDevices());
    std::string text = logText();
    const size_t begin = text.find("--- Raw PortAudio enumeration: 3 device(s) ---");
    const size_t mic = text.find("  [pa 0] \"USB Mic\"  api=ALSA(8)  outCh=0  sr=44100\n");
    const size_t null = text.find("  [pa 1] NULL\n");
    const size_t oss = text.find("  [pa 2] \"OSS only\"  api=OSS(7)  outCh=2  sr=48000\n");
    const size_t end = text.find("--- End raw enumeration ---");
    ASSERT_NE(begin, std::string::npos) << text;
    EXPECT_LT(begin, mic);
    EXPECT_LT(mic, null);
    EXPECT_LT(null, oss);
    EXPECT_LT(oss, end);
    EXPECT_NE(end, std::string::npos);

    std::filesystem::remove(logDir.file(kWizardLogFileName));
    raw = RawDeviceList();
    raw.count = -10000;
    raw.errorText = "PortAudio not initialized";
    open(typicalDevices());
    text = logText();
    EXPECT_NE(text.find("--- Raw PortAudio enumeration: -10000 device(s) ---"), std::string::npos) << text;
    EXPECT_NE(text.find("  Pa_GetDeviceCount error: PortAudio not initialized\n"), std::string::npos);
    EXPECT_EQ(text.find("[pa "), std::string::npos);
}

TEST_F(DeviceWizardTest, MatchesTheSavedConfigurationAndItsBufferRules) {
    struct Case {
        const char* what;
        int32_t paIndex;
        const char* api;
        int32_t buffer;
        int device1, apiSel1, bufSel1;
    };
    const Case cases[] = {
        {"the pro class keeps what is saved", 7, "JACK", 256, 0, 0, 2},
        {"direct class below 256 opens at 512", 3, "ALSA", 128, 2, 0, 3},
        {"direct class keeps 1024", 0, "ALSA", 1024, 1, 0, 4},
        {"direct class keeps 256", 0, "ALSA", 256, 1, 0, 2},
        {"an unknown size opens at 512", 0, "OSS", 300, 1, 1, 3},
        {"an index no device has selects the first", 42, "ALSA", 512, 0, 0, 3},
        {"no device configured selects the first", -1, "", 256, 0, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.edit([&](HapticSettings& s) {
            s.audioDeviceIndex = c.paIndex;
            copyText(s.devices[0].api, c.api);
            s.devices[0].bufferSize = c.buffer;
        });
        open(typicalDevices());
        EXPECT_EQ(state->device1, c.device1);
        EXPECT_EQ(state->apiSel1, c.apiSel1);
        EXPECT_EQ(state->bufSel1, c.bufSel1);
        EXPECT_FALSE(state->useSecond);
    }
}

TEST_F(DeviceWizardTest, MatchesASavedSecondDevice) {
    settings.edit([](HapticSettings& s) {
        s.audioDeviceIndex = 7;
        copyText(s.devices[0].api, "JACK");
        s.numDevices = 2;
        s.devices[1].enabled = 1;
        s.devices[1].paIndex = 3;
        copyText(s.devices[1].api, "ALSA");
        s.devices[1].bufferSize = 64;
    });
    open(typicalDevices());
    EXPECT_TRUE(state->useSecond);
    EXPECT_EQ(state->device2, 2);
    EXPECT_EQ(state->bufSel2, 3);  // the direct class never goes below 256
    EXPECT_NE(logText().find("Matched: deviceIdx=0  apiSel=0  bufSel=2(256)  second=true"), std::string::npos);
}

// The JACK server's size is what a JACK stream runs at: the list shows it,
// whatever was saved, and choosing the server again selects it again.
TEST_F(DeviceWizardTest, TheJackServersBufferSizeIsSelected) {
    std::vector<PhysicalDevice> list = jackServerAt1024With128Saved(false);
    open(list);
    EXPECT_EQ(state->bufSel1, 4);
    next();
    layoutWizard(*state, 0, 0);
    EXPECT_EQ(state->buffer1.selected, 4);
    click(state->back.rect);
    layoutWizard(*state, 0, 0);
    click(rowOf(state->layout.list1, 1));  // HDA Intel PCH on ALSA
    EXPECT_EQ(state->bufSel1, 3);
    click(rowOf(state->layout.list1, 0));  // the JACK server
    EXPECT_EQ(state->bufSel1, 4);
    // A server size the list does not hold keeps what is saved.
    list[2].apis[0].serverBufferFrames = 2048;
    open(list);
    EXPECT_EQ(state->bufSel1, 1);
}

// PipeWire grants the size a client asks for: there the list applies, so
// the saved size is selected rather than the graph's; and the figures of a
// list the audio side copied since (a quantum that changed) reach the open
// wizard, leaving the list and every choice as they are.
TEST_F(DeviceWizardTest, OnAServerThatGrantsTheSizeAskedForTheSavedSizeIsSelectedAndTheGrantedOneFollows) {
    std::vector<PhysicalDevice> list = jackServerAt1024With128Saved(true);
    open(list);
    EXPECT_EQ(state->bufSel1, 1);
    uint32_t version = 0;
    state->services.devicesVersion = [&] { return version; };
    devices[2].apis[0].serverBufferFrames = 128;
    devices[2].apis[0].serverLatencyMs = 2.7;
    devices[0].apis[0].maxOutputChannels = 6;  // not a server figure: stays as listed
    EXPECT_FALSE(refreshServerFigures(*state)) << "no new list";
    ++version;
    EXPECT_TRUE(refreshServerFigures(*state));
    const DeviceInfo* v = chosenVariant(*state, 1);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->serverBufferFrames, 128);
    EXPECT_DOUBLE_EQ(v->serverLatencyMs, 2.7);
    EXPECT_EQ(state->bufSel1, 1);
    EXPECT_EQ(state->devices[state->device1].hardwareName, "system");
    for (const PhysicalDevice& d : state->devices)
        for (const DeviceInfo& other : d.apis)
            EXPECT_NE(other.maxOutputChannels, 6) << d.hardwareName;
    ++version;
    EXPECT_FALSE(refreshServerFigures(*state)) << "the same figures again";
}

TEST_F(DeviceWizardTest, WithSevenDevicesTheWheelScrollsBetweenZeroAndTwo) {
    std::vector<PhysicalDevice> seven;
    for (int i = 0; i < 7; ++i)
        seven.push_back(device("Card " + std::to_string(i), {variant(i, kAlsa, 2)}));
    settings.edit([](HapticSettings& s) { s.audioDeviceIndex = 6; });
    open(seven);
    EXPECT_EQ(state->device1, 6);
    EXPECT_EQ(state->scroll1, 2);  // the saved device is in view
    const RectF list = state->layout.list1;
    const auto turn = [&](int notches) {
        const uintptr_t delta = static_cast<uint16_t>(static_cast<int16_t>(notches * 120));
        wizardMouse(kWheel, list.centerX(), list.centerY(), delta << 16, state.get());
        return state->scroll1;
    };
    EXPECT_EQ(turn(1), 1);   // away from the user: up the list
    EXPECT_EQ(turn(5), 0);
    EXPECT_EQ(turn(-1), 1);  // towards the user: down
    EXPECT_EQ(turn(-9), 2);
    // A click on the first visible row picks the device scrolled there.
    click(rowOf(list, 0));
    EXPECT_EQ(state->device1, 2);
}

// One audio server plays one pro device at a time, and one device chosen
// twice is one device: the second list holds only the devices that can play
// beside the first, and the toggle says why when there are none.
TEST_F(DeviceWizardTest, TheSecondInterfaceListOffersOnlyDevicesThatPlayBesideTheFirst) {
    const PhysicalDevice secondServer = device("second server", {variant(11, kJack, 2)});
    struct Case {
        const char* what;
        std::vector<PhysicalDevice> list;
        int firstRow;  // row of the first list clicked before the toggle, -1 none
        std::vector<std::string> offered;
        const char* reason;
    } cases[] = {
        {"first on JACK: only the ALSA devices", typicalDevices(), -1, {"HDA Intel PCH", "Focusrite Scarlett 4i4"}, ""},
        {"a second JACK-only device is not offered",
         {device("system", {variant(7, kJack, 8)}), secondServer, device("HDA Intel PCH", {variant(0, kAlsa, 2)})},
         -1,
         {"HDA Intel PCH"},
         ""},
        {"first on ALSA: JACK may be the second",
         {device("system", {variant(7, kJack, 8)}), secondServer, device("HDA Intel PCH", {variant(0, kAlsa, 2)})},
         2,
         {"system", "second server"},
         ""},
        {"the JACK server alone", {device("system", {variant(7, kJack, 8)}), device("OSS only", {variant(8, kOss, 2)})},
         -1,
         {},
         "No other audio interface was found."},
        {"two JACK-only devices", {device("system", {variant(7, kJack, 8)}), secondServer}, -1, {},
         "Only one JACK device can be active at a time, and no other interface has an ALSA driver."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.replace(HapticSettings());
        open(c.list);
        if (c.firstRow >= 0)
            click(rowOf(state->layout.list1, c.firstRow));
        click(state->layout.toggle);
        layoutWizard(*state, 0, 0);
        EXPECT_EQ(noSecondInterfaceReason(*state), c.reason);
        EXPECT_EQ(state->useSecond, !c.offered.empty());
        EXPECT_EQ(state->secondRefused, c.offered.empty());
        if (c.offered.empty())
            continue;
        // Each row of the second list picks the device it shows.
        std::vector<std::string> offered;
        for (size_t row = 0; row < state->secondChoices.size(); ++row) {
            click(rowOf(state->layout.list2, static_cast<int>(row)));
            offered.push_back(state->devices[static_cast<size_t>(state->device2)].hardwareName);
            EXPECT_NE(state->device2, state->device1);
        }
        EXPECT_EQ(offered, c.offered);
    }
}

// A second device on the JACK server shows the server's buffer size; when
// the first device moves to JACK, the second gives way to one that can play
// beside it.
TEST_F(DeviceWizardTest, TheSecondInterfaceFollowsTheFirst) {
    std::vector<PhysicalDevice> list = typicalDevices();
    list[2].apis[0].serverBufferFrames = 256;
    settings.edit([](HapticSettings& s) { s.audioDeviceIndex = 0; });  // HDA Intel PCH on ALSA
    open(list);
    ASSERT_EQ(state->devices[static_cast<size_t>(state->device1)].hardwareName, "HDA Intel PCH");
    click(state->layout.toggle);
    layoutWizard(*state, 0, 0);
    click(rowOf(state->layout.list2, 0));
    ASSERT_EQ(state->devices[static_cast<size_t>(state->device2)].hardwareName, "system");
    EXPECT_EQ(kWizardBufferSizes[state->bufSel2], 256);
    next();
    layoutWizard(*state, 0, 0);
    EXPECT_EQ(state->buffer2.selected, 2);  // "256" of the pro list
    click(state->back.rect);
    layoutWizard(*state, 0, 0);
    click(rowOf(state->layout.list1, 0));  // the JACK server becomes the first
    EXPECT_TRUE(state->useSecond);
    EXPECT_EQ(state->devices[static_cast<size_t>(state->device2)].hardwareName, "HDA Intel PCH");
    EXPECT_EQ(chosenVariant(*state, 2)->hostApiName, "ALSA");
}

// A device with both drivers is offered beside a JACK device on its ALSA
// driver; switching it to JACK on the next page is refused at Next.
TEST_F(DeviceWizardTest, TwoProClassDevicesAreRefusedAtNext) {
    std::vector<PhysicalDevice> list = typicalDevices();
    list.push_back(device("dual card", {variant(11, kJack, 2), variant(12, kAlsa, 2)}));
    open(list);
    click(state->layout.toggle);
    ASSERT_TRUE(state->useSecond);
    ASSERT_EQ(state->devices[static_cast<size_t>(state->device2)].hardwareName, "dual card");
    EXPECT_EQ(chosenVariant(*state, 2)->hostApiName, "ALSA");
    next();
    ASSERT_EQ(state->step, 1);
    layoutWizard(*state, 0, 0);
    const RectF driver = state->driver2.rect;
    click({driver.left, driver.top, driver.left + 20, driver.bottom});  // "JACK"
    ASSERT_EQ(chosenVariant(*state, 2)->hostApiName, "JACK");
    next();
    EXPECT_EQ(state->step, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "JACK Conflict");
    EXPECT_EQ(boxes[0].second, "Only one JACK device can be active at a time.\n\nPlease select ALSA for the second "
                               "interface,\nor remove the second device.");
    EXPECT_NE(logText().find("BLOCKED: dual-JACK conflict"), std::string::npos);
}

TEST_F(DeviceWizardTest, RemovingTheSecondInterfaceMovesItsZonesToTheFirst) {
    settings.edit([](HapticSettings& s) {
        s.zones[2].device = 1;
        s.zones[5].device = 3;
    });
    open(typicalDevices());
    click(state->layout.toggle);
    ASSERT_TRUE(state->useSecond);
    click(state->layout.toggle);
    ASSERT_FALSE(state->useSecond);
    next();
    next();
    ASSERT_EQ(state->step, 2);
    const HapticSettings s = settings.snapshot();
    EXPECT_EQ(s.numDevices, 1);
    EXPECT_EQ(s.devices[1].enabled, 0);
    EXPECT_EQ(s.zones[2].device, 0);
    EXPECT_EQ(s.zones[5].device, 0);
    EXPECT_EQ(textOf(s.devices[0].name), "system");
    EXPECT_EQ(textOf(s.devices[0].api), "JACK");
    EXPECT_EQ(s.audioDeviceIndex, 7);
    ASSERT_EQ(reopens.size(), 1u);
    EXPECT_EQ(reopens[0], (std::array<int, 3>{7, 0, 256}));
}

TEST_F(DeviceWizardTest, TwoDevicesAreWrittenIntoTwoSlots) {
    open(typicalDevices());
    click(state->layout.toggle);
    layoutWizard(*state, 0, 0);
    click(rowOf(state->layout.list2, 1));
    next();
    next();
    const HapticSettings s = settings.snapshot();
    EXPECT_EQ(s.numDevices, 2);
    EXPECT_EQ(textOf(s.devices[1].name), "Focusrite Scarlett 4i4");
    EXPECT_EQ(textOf(s.devices[1].api), "ALSA");
    EXPECT_EQ(s.devices[1].paIndex, 3);
    EXPECT_EQ(s.devices[1].bufferSize, 512);
    EXPECT_EQ(s.devices[1].enabled, 1);
    EXPECT_EQ(state->channelsOf[1], 4);
}

TEST_F(DeviceWizardTest, CloseWithoutApplyKeepsTheDevicesInUseAndRaisesNoDirtyFlag) {
    settings.edit([](HapticSettings& s) {
        s.audioDeviceIndex = 3;
        copyText(s.devices[0].name, "Focusrite Scarlett 4i4");
        copyText(s.devices[0].api, "ALSA");
        s.devices[0].bufferSize = 512;
        s.zones[1].device = 1;
        s.numDevices = 2;
    });
    settings.takeDirty();
    open(typicalDevices());
    click(rowOf(state->layout.list1, 0));  // the JACK server
    next();
    next();
    ASSERT_EQ(reopens.size(), 1u);
    // Close, Escape and the close box all end in finishWizard, the restart
    // still opening.
    click(state->close.rect);
    EXPECT_EQ(closeCode, 0);
    EXPECT_FALSE(finishWizard(*state));
    const HapticSettings after = settings.snapshot();
    EXPECT_EQ(textOf(after.devices[0].name), "system");
    EXPECT_EQ(after.audioDeviceIndex, 7);
    EXPECT_EQ(after.numDevices, 1);
    EXPECT_EQ(after.zones[1].device, 0);
    EXPECT_FALSE(settings.isDirty());
    EXPECT_EQ(reopens.size(), 1u);  // no restart back onto the old device
    EXPECT_FALSE(timerOn);
    EXPECT_NE(test::readFile(logDir.file(kWizardLogFileName)).find("Wizard exited. applied=false"), std::string::npos);
}

TEST_F(DeviceWizardTest, ARestartStillRefusedAtCloseIsAskedForOnceMoreAndNeverWaitedFor) {
    open(typicalDevices());
    refuseRestarts = 100;  // another audio worker keeps running
    next();
    next();
    ASSERT_EQ(state->restart, RestartState::Pending);
    const size_t asked = reopens.size();
    EXPECT_FALSE(finishWizard(*state));
    EXPECT_EQ(reopens.size(), asked + 1);
    EXPECT_EQ(textOf(settings.snapshot().devices[0].name), "system");
    EXPECT_NE(test::readFile(logDir.file(kWizardLogFileName)).find("the devices open at the next restart"),
              std::string::npos);
}

TEST_F(DeviceWizardTest, WhenTheProgramEndsThePendingRestartIsDroppedAndTheChoiceStays) {
    settings.edit([](HapticSettings& s) { copyText(s.devices[0].name, "before"); });
    settings.takeDirty();
    open(typicalDevices());
    refuseRestarts = 100;  // shutting down: the runtime takes no worker
    next();
    next();
    ASSERT_EQ(state->restart, RestartState::Pending);
    const size_t asked = reopens.size();
    EXPECT_FALSE(finishWizard(*state, true));
    EXPECT_EQ(reopens.size(), asked);
    EXPECT_EQ(textOf(settings.snapshot().devices[0].name), "system");
    EXPECT_FALSE(settings.isDirty());
}

TEST_F(DeviceWizardTest, ApplyRaisesTheDirtyFlagAndKeepsTheChoice) {
    open(typicalDevices());
    next();
    next();
    EXPECT_FALSE(settings.isDirty());  // a trial is never marked for saving
    click(state->next.rect);           // "Apply"
    EXPECT_EQ(closeCode, 1);
    EXPECT_TRUE(settings.isDirty());
    EXPECT_TRUE(finishWizard(*state));
    EXPECT_EQ(textOf(settings.snapshot().devices[0].name), "system");
    EXPECT_EQ(reopens.size(), 1u);
    const std::string text = test::readFile(logDir.file(kWizardLogFileName));
    EXPECT_NE(text.find("APPLY: wizard completed, config marked dirty."), std::string::npos);
    EXPECT_NE(text.find("Wizard exited. applied=true"), std::string::npos);
}

TEST_F(DeviceWizardTest, EscapeClosesAndNoOtherKeyActs) {
    open(typicalDevices());
    wizardKey(kKeyDown, 13, 0, state.get());
    wizardKey(0x0102, 'x', 0, state.get());
    EXPECT_EQ(closeCode, -99);
    wizardKey(kKeyDown, 27, 0, state.get());
    EXPECT_EQ(closeCode, 0);
}

TEST_F(DeviceWizardTest, HoldingATestButtonStartsOneToneAndReleasingStopsIt) {
    open(typicalDevices());
    next();
    next();
    finishRestart();
    layoutWizard(*state, 0, 0);
    ASSERT_EQ(state->layout.channelCount[0], 8);
    press(state->channelButtons[0][5].rect);
    EXPECT_TRUE(captured);
    // Held for a while: moves and the audio side's own end of the tone start nothing new.
    wizardMouse(kMove, 10, 10, 0, state.get());
    release();
    EXPECT_FALSE(captured);
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[0].channel, 5);
    EXPECT_EQ(tones[0].durationMs, 500);
    EXPECT_FLOAT_EQ(tones[0].gain, 0.7f);
    EXPECT_EQ(tones[0].stream, 0);
    EXPECT_EQ(tones[1].durationMs, 0);
    EXPECT_EQ(tones[1].stream, 0);
    press(state->testAll[0].rect);
    release();
    ASSERT_EQ(tones.size(), 4u);
    EXPECT_EQ(tones[2].channel, -1);
    EXPECT_EQ(tones[3].durationMs, 0);
    // A release with no test held stops nothing.
    release();
    EXPECT_EQ(tones.size(), 4u);
}

TEST_F(DeviceWizardTest, ARefusedRestartStaysPendingAndTheTestWaitsForTheNewStreams) {
    open(typicalDevices());
    refuseRestarts = 1;
    next();
    next();
    EXPECT_EQ(state->restart, RestartState::Pending);
    EXPECT_TRUE(timerOn);
    layoutWizard(*state, 0, 0);
    press(state->testAll[0].rect);
    EXPECT_TRUE(tones.empty());  // the old device must not play the test
    wizardTimer(kWizardTimerId, 0, 0, state.get());  // the worker is free now
    EXPECT_EQ(state->restart, RestartState::Opening);
    EXPECT_EQ(reopens.size(), 2u);
    EXPECT_TRUE(tones.empty());
    finishRestart();
    EXPECT_EQ(state->restart, RestartState::Ready);
    EXPECT_FALSE(timerOn);
    ASSERT_EQ(tones.size(), 1u);  // still held: it plays now
    EXPECT_EQ(tones[0].channel, -1);
    release();
    EXPECT_EQ(tones.size(), 2u);
}

TEST_F(DeviceWizardTest, ATestReleasedBeforeTheStreamsRunPlaysNothing) {
    open(typicalDevices());
    next();
    next();
    layoutWizard(*state, 0, 0);
    press(state->testAll[0].rect);
    release();
    finishRestart();
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0].durationMs, 0);
}

TEST_F(DeviceWizardTest, TheTroubleshooterTonePlaysOnceTheReopenedStreamsRun) {
    open(typicalDevices());
    next();
    next();
    finishRestart();
    layoutWizard(*state, 0, 0);
    click(state->layout.link);
    ASSERT_TRUE(state->troubleshooter);
    layoutWizard(*state, 0, 0);
    EXPECT_EQ(state->troubleChannels.selected, 1);
    click({state->troubleChannels.rect.left + 121, state->troubleChannels.rect.top + 2,
           state->troubleChannels.rect.left + 123, state->troubleChannels.rect.top + 4});  // "6"
    EXPECT_EQ(state->troubleChannels.selected, 2);
    press(state->troubleTest.rect);
    EXPECT_EQ(state->testMarker, kTroubleshooterTestMarker);
    EXPECT_EQ(settings.snapshot().devices[0].channels, 6);
    EXPECT_EQ(state->restart, RestartState::Opening);
    EXPECT_TRUE(tones.empty());
    finishRestart();
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0].channel, -1);
    EXPECT_EQ(tones[0].stream, 0);
    release();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[1].durationMs, 0);
    layoutWizard(*state, 0, 0);
    click(state->troubleBack.rect);
    EXPECT_FALSE(state->troubleshooter);
    EXPECT_EQ(settings.snapshot().devices[0].channels, 0);
}

TEST_F(DeviceWizardTest, WithNoDevicesNothingIndexesTheEmptyListAndTheUserCanLookAgain) {
    open({device("OSS only", {variant(0, kOss, 2)})});
    ASSERT_TRUE(state->devices.empty());
    click(state->layout.toggle);
    EXPECT_FALSE(state->useSecond);
    next();
    EXPECT_EQ(state->step, 0);
    previewApply(*state, 0);
    EXPECT_TRUE(reopens.empty());
    // The server starts; looking again restarts the audio, which lists it.
    click(state->lookAgain.rect);
    ASSERT_EQ(reopens.size(), 1u);
    EXPECT_EQ(reopens[0][0], -1);
    devices = typicalDevices();
    finishRestart(false);
    EXPECT_EQ(state->devices.size(), 3u);
    next();
    EXPECT_EQ(state->step, 1);
    EXPECT_NE(logText().find("previewApply: SKIPPED, device list empty"), std::string::npos);
}

TEST_F(DeviceWizardTest, ALowBufferOnTheDirectClassWarnsAndOnTheProClassNot) {
    open(typicalDevices());
    next();
    layoutWizard(*state, 0, 0);
    const RectF pro = state->buffer1.rect;  // 64 .. 1024
    const float segment = pro.width() / 5;
    click({pro.left + 2 * segment + 1, pro.top + 1, pro.left + 2 * segment + 3, pro.top + 3});
    EXPECT_EQ(state->bufSel1, 2);
    EXPECT_TRUE(boxes.empty());
    click(state->back.rect);
    layoutWizard(*state, 0, 0);
    click(rowOf(state->layout.list1, 1));  // HDA Intel PCH on ALSA
    next();
    layoutWizard(*state, 0, 0);
    const RectF direct = state->buffer1.rect;  // 256, 512, 1024
    EXPECT_EQ(state->buffer1.selected, 1);
    click({direct.left + 1, direct.top + 1, direct.left + 3, direct.top + 3});
    EXPECT_EQ(state->bufSel1, 2);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Low Buffer Warning");
}

TEST_F(DeviceWizardTest, LongDeviceNamesAreCutAtCharacterBoundaries) {
    std::string name(254, 'a');
    name += "\xC3\xA9\xC3\xA9 end";  // "éé end": the first é straddles byte 255
    open({device(name, {variant(4, kAlsa, 2)})});
    next();
    next();
    const HapticSettings saved = settings.snapshot();
    const std::string_view stored = textOf(saved.devices[0].name);
    EXPECT_EQ(stored, std::string(254, 'a'));
}

class DeviceWizardRenderTest : public test::GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        createTextFormats();
        createBrushes(0);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
    void render(WizardState& state, const std::string& name) {
        auto target = image(kWizardWidth, kWizardHeight);
        target->context().clear(rgb(16, 18, 22));
        wizardPaint(target->context(), kWizardWidth, kWizardHeight, &state);
        target->finish();
        std::string error;
        EXPECT_TRUE(target->savePng(folder + name, &error)) << error;
        last = std::move(target);
    }
    const std::string folder = std::string(QV_RENDER_FOLDER) + "/";
    std::unique_ptr<ImageTarget> last;
};

TEST_F(DeviceWizardRenderTest, TheThreeStepsPaintTheirPages) {
    LiveSettings settings;
    WizardState state;
    state.services.settings = &settings;
    std::vector<PhysicalDevice> list = typicalDevices();
    list[2].apis[0].serverBufferFrames = 1024;  // the JACK server's buffer, shown on step 2
    list[2].apis[0].serverLatencyMs = 21.3;
    state.services.copyDevices = [&] { return list; };
    beginWizard(state, "");
    state.useSecond = true;
    chooseSecondDevice(state, 2);
    render(state, "device_wizard_step1.png");
    // The selected row (the JACK server) is lit in the accent's shade.
    const Color shade = currentAccent().shade2;
    const Rgba8 row = last->pixel(300, 96 + 14);
    EXPECT_GT(test::inkedPixels(*last, 30, 97, 60, 123, {16, 18, 22, 255}), 100);
    EXPECT_NE(row.r, 22) << int(row.r) << " " << shade.r;
    // The current step's circle is filled with the accent.
    const Color accent = currentAccent().base;
    EXPECT_TRUE(test::colorNear(last->pixel(static_cast<int>(24 + (560 - 48) / 6.0f) - 6, 18),
                                {static_cast<uint8_t>(accent.r * 255 + 0.5f), static_cast<uint8_t>(accent.g * 255 + 0.5f),
                                 static_cast<uint8_t>(accent.b * 255 + 0.5f), 255},
                                3));
    state.step = 1;
    render(state, "device_wizard_step2.png");
    // On PipeWire the list applies and the page says what was granted.
    state.devices[static_cast<size_t>(state.device1)].apis[0].serverTakesRequest = true;
    render(state, "device_wizard_step2_pipewire.png");
    state.devices[static_cast<size_t>(state.device1)].apis[0].serverTakesRequest = false;
    state.step = 2;
    state.restart = RestartState::Opening;
    render(state, "device_wizard_step3.png");
    state.troubleshooter = true;
    state.restart = RestartState::Ready;
    render(state, "device_wizard_troubleshooter.png");
    WizardState empty;
    empty.services.settings = &settings;
    beginWizard(empty, "");
    render(empty, "device_wizard_no_devices.png");
    // The JACK server alone: no second interface, and the page says why.
    std::vector<PhysicalDevice> lone = {list[2]};
    WizardState alone;
    alone.services.settings = &settings;
    alone.services.copyDevices = [&] { return lone; };
    beginWizard(alone, "");
    alone.secondRefused = true;
    render(alone, "device_wizard_no_second.png");
    EXPECT_TRUE(std::filesystem::exists(folder + "device_wizard_step3.png"));
}

}  // namespace
}  // namespace qv
