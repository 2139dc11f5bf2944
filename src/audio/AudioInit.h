#pragma once
// Audio initialisation: turns the saved device configuration into running
// output streams. Resolves the saved primary device by name against the
// current device list, opens one stream per configured device (multi-device)
// or a single stream, tells the synthesis which device slot each stream
// plays, installs the render callable, starts the streams and publishes the
// audio status (AudioStatus.h).
//
// Threads: initAudio runs on the one audio worker that holds the busy token
// (the start worker at start-up), never on the GUI thread and never twice at once.
// It writes the device part of the live settings through LiveSettings::edit.

#include "audio/AudioDevice.h"
#include "audio/AudioEngine.h"
#include "audio/AudioStatus.h"
#include "audio/PortAudioApi.h"
#include "audio/SynthState.h"
#include "settings/LiveSettings.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct AudioInitContext {
    AudioEngine* engine = nullptr;
    IPortAudio* portAudio = nullptr;  // the engine's PortAudio (device names)
    std::function<void(std::string_view)> log;  // "watchdog.log"; may be empty
    std::vector<PhysicalDevice>* devices = nullptr;  // replaced only by reEnumerateDevices
    SynthState* synth = nullptr;
    LiveSettings* settings = &gSettings;

    // Set by initAudio: the streams that run are the multi-device set.
    bool multiDevice = false;
    // Set by initAudio when it fails: why, the console's warning line for it
    // (without "  WARNING: ") and the saved name of a device not found.
    AudioProblem problem = AudioProblem::None;
    std::string problemText;
    std::string missingDevice;

    // True when streams were opened and started. Failures print a warning on
    // the console and leave the engine's last error.
    bool initAudio();
    // The result of the last initAudio as the runtime gets it.
    void describeFailure(AudioProblem why, std::string text, std::string device = {});

    // Restarts PortAudio, replaces the device list with a fresh enumeration
    // and logs it. Returns the number of devices.
    int reEnumerateDevices();

    void logLine(std::string_view text) const {
        if (log)
            log(text);
    }
};

// Index of the first device whose hardware name and `name` contain one
// another (ASCII case-insensitive; empty names never match), or -1.
int findDeviceByHardwareName(const std::vector<PhysicalDevice>& devices, const std::string& name);

// The variant of `device` to open for a saved host-API name: the one of that
// name (when `api` is not empty and, with requireIndex, it has a PortAudio
// index), else the first with a PortAudio index; -1 when there is none.
int chooseVariant(const PhysicalDevice& device, const std::string& api, bool requireIndex);

// The names of the output ports of a stream that plays device slot `slot`,
// by channel (eight): the name of the active zone on that slot and channel
// ("LF", "RF", ...), else "out_1" ... "out_8"; names are unique, printable
// and without ':'.
std::vector<std::string> outputPortNames(const HapticSettings& settings, int slot);

// The error text of a start whose saved device is not listed (the engine's
// last error, which the program shows): "Saved device 'NAME' not found in
// current device list".
std::string savedDeviceNotFoundText(const std::string& name);

// Logs "reEnumerate() done: N devices" and one line per device.
void logDeviceList(const std::function<void(std::string_view)>& log, const std::vector<PhysicalDevice>& devices);

// The channels that stream `slot` feeds and its status row.
int streamActiveChannels(const AudioEngine& engine, int stream);

}  // namespace qv
