#pragma once
// The "Device Setup" wizard: pick the audio interface (and optionally a
// second one), its driver and buffer size, then hold buttons to feel each
// output channel. Three steps in one modal dialog of the dialog host.
//
// Driver classes: the wizard offers the variants of the "pro" class (JACK; a
// single audio server, so only one pro device at a time) and of the "direct"
// class (ALSA). Devices with neither are not listed; devices with a pro
// variant come first.
//
// What the wizard changes: the device part of the live settings (device
// slots, their count, the primary index and the zones' devices), always
// through LiveSettings::edit without raising the dirty flag, and then asks
// for an audio restart so the test step plays through the choice. From then
// on the settings hold the new devices and the audio runs on them, also when
// the user closes without applying; Apply only raises the dirty flag (the
// choice is saved) and has the effect cards refreshed.
//
// A restart the audio side refuses (another audio worker runs) stays pending
// and is asked for again on the wizard's timer; a test tone asked for while
// the new streams are being opened starts once they run (if the button is
// still held).
//
// The callbacks below have the dialog host's shapes; all run on the GUI
// thread. The state is the dialog's user record.

#include "audio/AudioDevice.h"
#include "platform/Clock.h"
#include "platform/graphics/DrawContext.h"
#include "settings/LiveSettings.h"
#include "ui/Widgets.h"
#include "ui/dialogs/WizardLog.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

inline constexpr int kWizardWidth = 560;   // client size, 96-dpi units
inline constexpr int kWizardHeight = 570;
inline constexpr int kWizardBufferSizeCount = 5;
inline constexpr int32_t kWizardBufferSizes[kWizardBufferSizeCount] = {64, 128, 256, 512, 1024};
inline constexpr int kTroubleshooterTestMarker = 99;
inline constexpr int kTroubleshooterChannelCount = 4;
inline constexpr int32_t kTroubleshooterChannels[kTroubleshooterChannelCount] = {2, 4, 6, 8};
inline constexpr const char* kWizardSteps[3] = {"1. Select Audio Device", "2. Channels & Buffer",
                                                "3. Test Devices"};
inline constexpr uint32_t kWizardTimerId = 1;
inline constexpr uint32_t kWizardTimerMs = 100;
inline constexpr int kTestToneMs = 500;
inline constexpr float kTestToneGain = 0.7f;

// What the wizard reaches outside itself. Every callable may be empty: no
// devices, no restart, no tone, no box.
struct WizardServices {
    LiveSettings* settings = &gSettings;
    std::function<std::vector<PhysicalDevice>()> copyDevices;
    // Moves on with every new copy of the device list (new server figures
    // included); empty: the list is copied only when the wizard lists afresh.
    std::function<uint32_t()> devicesVersion;
    // PortAudio's own list, for the log; empty: the published one (AudioStatus.h).
    std::function<RawDeviceList()> copyRawDevices;
    // Restart the audio from the settings; false when refused (a worker runs).
    std::function<bool(int paIndex, int channels, int bufferSize)> reopenAudio;
    // Start (duration > 0) or stop (duration 0) a tone on one stream.
    std::function<void(int channel, int durationMs, float gain, int streamIndex)> testTone;
    std::function<void(const char* title, const char* text)> showWarning;
    std::function<void(int code)> closeDialog;
    std::function<void(bool on)> setTimer;    // kWizardTimerId every kWizardTimerMs
    std::function<void(bool on)> setCapture;  // hold the mouse while a test button is held
    // Audio status; empty: the process-wide values (AudioStatus.h).
    std::function<int32_t()> audioInitCount;
    std::function<bool()> audioReady;
};

enum class RestartState : uint8_t {
    Idle,     // nothing asked for since the wizard opened
    Pending,  // refused; asked for again on the timer
    Opening,  // taken; waiting for the audio side to finish
    Ready,    // finished and the streams run
    Failed,   // finished without streams
};

// Hit rectangles and positions of the current page (pixels), set by
// layoutWizard.
struct WizardLayout {
    float s = 1;
    RectF list1, toggle, list2;  // step 0
    int visibleRows = 0, visibleRows2 = 0;
    float blockTop[2] = {0, 0};  // step 1 and 2 device blocks
    bool warning = false;        // step 2: both devices on the pro class
    int channelCount[2] = {0, 0};
    RectF link;                  // step 2: "Test not working?"
    float statusTop = 0;         // step 2: the restart status line
};

struct WizardState {
    WizardServices services;
    WizardLog* log = nullptr;

    int32_t step = 0;
    std::vector<PhysicalDevice> devices;  // filtered and ordered
    int32_t device1 = 0, hoverRow1 = -1, scroll1 = 0;
    bool useSecond = false;
    int32_t device2 = 0, hoverRow2 = -1, scroll2 = 0;
    bool toggleHover = false;
    int32_t apiSel1 = 0, apiSel2 = 0;
    int32_t bufSel1 = 3, bufSel2 = 3;
    UiSegmented driver1, buffer1, driver2, buffer2, troubleChannels;
    int32_t testMarker = -1, testChannel = -1;
    bool applied = false;
    UiButton back, next, close, lookAgain;
    UiButton testAll[2];
    UiButton channelButtons[2][8];
    UiButton troubleTest, troubleUse, troubleBack;
    bool linkHover = false;
    bool troubleshooter = false;
    int32_t troubleshooterDevice = 0;
    int32_t channelsOf[2] = {0, 0};
    // The second list's rows: the devices that can play beside device 1
    // (indices into devices), refreshed by layoutWizard.
    std::vector<int> secondChoices;
    bool secondRefused = false;  // the toggle found no second interface; step 0 says why

    // Restarts and tones.
    RestartState restart = RestartState::Idle;
    int32_t restartBaseCount = 0;  // audioInitCount when the running restart was taken
    int32_t pendingArgs[3] = {-1, 0, 0};
    bool toneDeferred = false;     // a held test waits for the streams
    int32_t deferredChannel = -1, deferredStream = 0;
    bool lookingAgain = false;     // a restart to list the devices afresh
    uint32_t devicesVersion = 0;   // services.devicesVersion() when the list was last read
    bool timerOn = false;
    bool captured = false;

    float width = 0, height = 0;  // client pixels of the last paint (0: the default size)
    WizardLayout layout;
};

// ---- the wizard's steps, without a window ----

// Indices into device.apis of its pro- and direct-class variants, in order.
std::vector<int> listWizardVariants(const PhysicalDevice& device);
bool isProVariant(const DeviceInfo& variant);
// The buffer list's selection (index into kWizardBufferSizes) for a variant
// when it is chosen; `savedPosition` is the saved size's position, -1 for
// none. A server that sets the buffer (jackd) selects its own size; ASIO
// selects 64 frames; another pro variant (PipeWire's JACK, which grants the
// size asked for) keeps what is saved (the server's size, else 64 without);
// the direct class keeps it from 256 up (512 without).
int initialBufferSelection(const DeviceInfo& variant, int savedPosition);
// Takes the server figures (buffer size, latency) of a device list copied
// since the wizard read it into the variants it shows, leaving the list and
// every choice as they are. True when a figure changed (repaint). Called on
// a timer of the dialog while it is open.
bool refreshServerFigures(WizardState& state);
// Keeps devices with a pro or direct variant, pro devices first (stable).
std::vector<PhysicalDevice> filterWizardDevices(std::vector<PhysicalDevice> devices);

// The devices that can play beside device 1 (indices into devices, in list
// order): any other device, and while device 1 plays on the pro class (one
// audio server, so one pro device at a time) only those with a direct
// variant. One device chosen twice is one device, so device 1 is never a
// choice.
std::vector<int> secondInterfaceChoices(const WizardState& state);
// Why no device can be the second interface; empty when one can.
std::string noSecondInterfaceReason(const WizardState& state);
// Makes devices[index] the second interface, on its first variant that can
// play beside device 1 and with that variant's buffer size.
void chooseSecondDevice(WizardState& state, int index);

// Opening: services in place, copies and filters the devices, opens the log
// in `logFolder` (empty: no log), logs the list and matches the saved
// configuration.
void beginWizard(WizardState& state, const std::string& logFolder);
// Selects the saved devices, drivers and buffer sizes in the current list.
void matchSavedDevices(WizardState& state, const HapticSettings& saved);
// The chosen variant of device 1 or 2 (null when the list is empty).
const DeviceInfo* chosenVariant(const WizardState& state, int which);

// Writes the choice into the settings (no dirty flag) and asks for a
// restart; `channels` 0 = automatic.
void previewApply(WizardState& state, int channels);
void applyWizard(WizardState& state);
void stopTestTone(WizardState& state);
// Starts a held test's tone (500 ms, gain 0.7) now, or once the streams of a
// restart run.
void startWizardTone(WizardState& state, int channel, int stream);
// The empty-list page's "Look again": a fresh copy of the devices, and when
// that is still empty a restart, which enumerates them afresh.
void lookForDevicesAgain(WizardState& state);
// After the dialog closed: stops the tone, asks once more for a restart that
// is still refused (never waits), logs and closes the log; the devices
// written by the last Next stay in the settings. Returns whether the user
// applied. While the program ends (`programEnding`) no restart is asked for.
bool finishWizard(WizardState& state, bool programEnding = false);

// ---- dialog callbacks (DialogSpec shapes; user = WizardState*) ----

void wizardPaint(DrawContext& context, float width, float height, void* user);
bool wizardMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool wizardKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
bool wizardTimer(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user);

// Lays out the current page for a client of width x height pixels (the hit
// rectangles that the mouse handler tests); the painter and the mouse handler
// call it.
void layoutWizard(WizardState& state, float width, float height);

}  // namespace qv
