// The device wizard's steps without a window: the device list, matching the
// saved configuration, writing a choice into the settings, restarts, tones
// and the end of a run. Layout, painting and input are in
// DeviceWizardPage.cpp.

#include "ui/dialogs/DeviceWizard.h"

#include "audio/AudioStatus.h"
#include "audio/HostApi.h"

#include <algorithm>

namespace qv {

namespace {

int clampIndex(int value, int count) {
    if (count <= 0)
        return 0;
    return std::clamp(value, 0, count - 1);
}

bool isProApiName(std::string_view name) { return hostApiClassOfName(name) == HostApiClass::Pro; }

int bufferPosition(int32_t frames) {
    for (int i = 0; i < kWizardBufferSizeCount; ++i) {
        if (kWizardBufferSizes[i] == frames)
            return i;
    }
    return -1;
}

int32_t initCount(const WizardState& state) {
    return state.services.audioInitCount ? state.services.audioInitCount() : gAudioInitCount.load();
}

bool audioRuns(const WizardState& state) {
    return state.services.audioReady ? state.services.audioReady() : gAudioReady.load() != 0;
}

void setTimer(WizardState& state, bool on) {
    if (state.timerOn == on)
        return;
    state.timerOn = on;
    if (state.services.setTimer)
        state.services.setTimer(on);
}

// Asks for a restart; keeps it pending when refused.
void requestRestart(WizardState& state, int paIndex, int channels, int frames) {
    state.pendingArgs[0] = paIndex;
    state.pendingArgs[1] = channels;
    state.pendingArgs[2] = frames;
    if (!state.services.reopenAudio) {
        state.restart = RestartState::Idle;
        return;
    }
    const int32_t base = initCount(state);
    if (state.services.reopenAudio(paIndex, channels, frames)) {
        state.restart = RestartState::Opening;
        state.restartBaseCount = base;
    } else {
        state.restart = RestartState::Pending;
        if (state.log)
            state.log->log("Audio restart refused (audio busy); kept pending");
    }
    setTimer(state, true);
}

void logDevices(WizardState& state) {
    WizardLog* log = state.log;
    if (!log)
        return;
    log->log("Filtered devices: %d", static_cast<int>(state.devices.size()));
    for (size_t i = 0; i < state.devices.size(); ++i) {
        const PhysicalDevice& d = state.devices[i];
        const DeviceInfo* v = d.selectedVariant();
        log->log("  [%d] \"%s\"  api=%s  paIdx=%d  maxCh=%d", static_cast<int>(i), d.hardwareName.c_str(),
                 v ? v->hostApiName.c_str() : "", v ? v->paIndex : -1, v ? v->maxOutputChannels : 0);
    }
}

// PortAudio's own list, entry for entry, as the audio side enumerated it.
void logEnumeration(WizardLog* log, const RawDeviceList& raw) {
    if (!log)
        return;
    log->log("--- Raw PortAudio enumeration: %d device(s) ---", raw.count);
    if (raw.count < 0) {
        log->log("  Pa_GetDeviceCount error: %s", raw.errorText.c_str());
        return;
    }
    for (size_t i = 0; i < raw.devices.size(); ++i) {
        const RawDeviceEntry& d = raw.devices[i];
        if (!d.present) {
            log->log("  [pa %d] NULL", static_cast<int>(i));
            continue;
        }
        log->log("  [pa %d] \"%s\"  api=%s(%d)  outCh=%d  sr=%.0f", static_cast<int>(i), d.name.c_str(),
                 d.hostApiName.c_str(), d.hostApiType, d.maxOutputChannels, d.defaultSampleRate);
    }
    log->log("--- End raw enumeration ---");
}

void copyAndFilter(WizardState& state) {
    std::vector<PhysicalDevice> all;
    if (state.services.devicesVersion)
        state.devicesVersion = state.services.devicesVersion();
    if (state.services.copyDevices)
        all = state.services.copyDevices();
    if (state.log)
        logEnumeration(state.log, state.services.copyRawDevices ? state.services.copyRawDevices() : rawDevices());
    state.devices = filterWizardDevices(std::move(all));
    logDevices(state);
}

}  // namespace

bool isProVariant(const DeviceInfo& variant) { return hostApiClass(variant.hostApiType) == HostApiClass::Pro; }

int initialBufferSelection(const DeviceInfo& variant, int savedPosition) {
    // A server that sets the buffer: its size, which is what the stream
    // runs at. One that grants what is asked for: the saved size.
    const int server = variant.serverBufferFrames > 0 ? bufferPosition(variant.serverBufferFrames) : -1;
    if (server >= 0 && !variant.serverTakesRequest)
        return server;
    if (variant.hostApiName == "ASIO")
        return 0;
    if (isProVariant(variant))
        return savedPosition >= 0 ? savedPosition : (server >= 0 ? server : 0);
    return savedPosition < 2 ? 3 : savedPosition;
}

bool refreshServerFigures(WizardState& state) {
    if (!state.services.devicesVersion || !state.services.copyDevices)
        return false;
    const uint32_t version = state.services.devicesVersion();
    if (version == state.devicesVersion)
        return false;
    state.devicesVersion = version;
    bool changed = false;
    for (const PhysicalDevice& fresh : state.services.copyDevices()) {
        for (PhysicalDevice& shown : state.devices) {
            if (shown.hardwareName != fresh.hardwareName)
                continue;
            for (DeviceInfo& v : shown.apis) {
                for (const DeviceInfo& f : fresh.apis) {
                    if (f.hostApiType != v.hostApiType || f.serverBufferFrames <= 0 || v.serverBufferFrames <= 0)
                        continue;
                    if (f.serverBufferFrames != v.serverBufferFrames || f.serverLatencyMs != v.serverLatencyMs) {
                        if (state.log)
                            state.log->log("Server buffer of \"%s\" (%s): %d samples, %.1fms", shown.hardwareName.c_str(),
                                           v.hostApiName.c_str(), f.serverBufferFrames, f.serverLatencyMs);
                        v.serverBufferFrames = f.serverBufferFrames;
                        v.serverLatencyMs = f.serverLatencyMs;
                        changed = true;
                    }
                }
            }
        }
    }
    return changed;
}

std::vector<int> listWizardVariants(const PhysicalDevice& device) {
    std::vector<int> indices;
    for (size_t i = 0; i < device.apis.size(); ++i) {
        if (hostApiClass(device.apis[i].hostApiType) != HostApiClass::Other)
            indices.push_back(static_cast<int>(i));
    }
    return indices;
}

std::vector<PhysicalDevice> filterWizardDevices(std::vector<PhysicalDevice> devices) {
    std::vector<PhysicalDevice> kept;
    for (PhysicalDevice& d : devices) {
        if (!listWizardVariants(d).empty())
            kept.push_back(std::move(d));
    }
    const auto hasPro = [](const PhysicalDevice& d) {
        return std::any_of(d.apis.begin(), d.apis.end(), [](const DeviceInfo& v) { return isProVariant(v); });
    };
    std::stable_partition(kept.begin(), kept.end(), hasPro);
    return kept;
}

const DeviceInfo* chosenVariant(const WizardState& state, int which) {
    const int count = static_cast<int>(state.devices.size());
    if (count == 0)
        return nullptr;
    const PhysicalDevice& d = state.devices[static_cast<size_t>(clampIndex(which == 1 ? state.device1 : state.device2, count))];
    if (d.apis.empty())
        return nullptr;
    const int sel = clampIndex(which == 1 ? state.apiSel1 : state.apiSel2, static_cast<int>(d.apis.size()));
    return &d.apis[static_cast<size_t>(sel)];
}

std::vector<int> secondInterfaceChoices(const WizardState& state) {
    std::vector<int> choices;
    const int count = static_cast<int>(state.devices.size());
    if (count == 0)
        return choices;
    const int first = clampIndex(state.device1, count);
    const DeviceInfo* v1 = chosenVariant(state, 1);
    const bool firstOnPro = v1 && isProVariant(*v1);
    for (int i = 0; i < count; ++i) {
        if (i == first)
            continue;
        const PhysicalDevice& d = state.devices[static_cast<size_t>(i)];
        const bool playsBeside = std::any_of(d.apis.begin(), d.apis.end(), [&](const DeviceInfo& v) {
            return hostApiClass(v.hostApiType) == HostApiClass::Direct ||
                   (!firstOnPro && hostApiClass(v.hostApiType) == HostApiClass::Pro);
        });
        if (playsBeside)
            choices.push_back(i);
    }
    return choices;
}

std::string noSecondInterfaceReason(const WizardState& state) {
    if (!secondInterfaceChoices(state).empty())
        return {};
    if (state.devices.size() < 2)
        return "No other audio interface was found.";
    return "Only one JACK device can be active at a time, and no other interface has an ALSA driver.";
}

void chooseSecondDevice(WizardState& state, int index) {
    const int count = static_cast<int>(state.devices.size());
    if (count == 0)
        return;
    state.device2 = clampIndex(index, count);
    const PhysicalDevice& d = state.devices[static_cast<size_t>(state.device2)];
    const DeviceInfo* v1 = chosenVariant(state, 1);
    const bool firstOnPro = v1 && isProVariant(*v1) && state.device2 != clampIndex(state.device1, count);
    const std::vector<int> variants = listWizardVariants(d);
    state.apiSel2 = variants.empty() ? 0 : variants.front();
    for (int i : variants) {
        if (!firstOnPro || !isProVariant(d.apis[static_cast<size_t>(i)])) {
            state.apiSel2 = i;
            break;
        }
    }
    const DeviceInfo* v2 = chosenVariant(state, 2);
    state.bufSel2 = v2 ? initialBufferSelection(*v2, -1) : 3;
}

void matchSavedDevices(WizardState& state, const HapticSettings& saved) {
    const int count = static_cast<int>(state.devices.size());
    const auto findByIndex = [&](int32_t paIndex) {
        if (paIndex < 0)
            return 0;
        for (int i = 0; i < count; ++i) {
            for (const DeviceInfo& v : state.devices[static_cast<size_t>(i)].apis) {
                if (v.paIndex == paIndex)
                    return i;
            }
        }
        return 0;
    };
    const auto findApi = [&](int device, std::string_view api) {
        if (device >= count)
            return 0;
        const auto& apis = state.devices[static_cast<size_t>(device)].apis;
        for (size_t i = 0; i < apis.size(); ++i) {
            if (apis[i].hostApiName == api)
                return static_cast<int>(i);
        }
        return 0;
    };

    state.device1 = findByIndex(saved.audioDeviceIndex);
    state.scroll1 = state.device1 > 4 ? std::min(state.device1 - 4, std::max(count - 5, 0)) : 0;
    state.apiSel1 = findApi(state.device1, textOf(saved.devices[0].api));
    const int pos1 = bufferPosition(saved.devices[0].bufferSize);
    const DeviceInfo* v1 = chosenVariant(state, 1);
    state.bufSel1 = v1 ? initialBufferSelection(*v1, pos1) : (pos1 < 2 ? 3 : pos1);

    state.useSecond = count > 0 && saved.numDevices >= 2 && saved.devices[1].enabled != 0;
    if (state.useSecond) {
        const std::string_view api = textOf(saved.devices[1].api);
        state.device2 = findByIndex(saved.devices[1].paIndex);
        state.apiSel2 = findApi(state.device2, api);
        const int pos2 = bufferPosition(saved.devices[1].bufferSize);
        state.bufSel2 = pos2 >= 0 ? pos2 : (isProApiName(api) ? 0 : 3);
        if (!isProApiName(api) && state.bufSel2 < 2)
            state.bufSel2 = 3;
        if (const DeviceInfo* v2 = chosenVariant(state, 2); v2 && v2->serverBufferFrames > 0)
            state.bufSel2 = initialBufferSelection(*v2, pos2);
    } else {
        state.device2 = count >= 2 ? 1 : 0;
        state.bufSel2 = 3;
    }
    state.scroll2 = state.device2 > 4 ? std::min(state.device2 - 4, std::max(count - 5, 0)) : 0;
    if (state.log) {
        state.log->log("Matched: deviceIdx=%d  apiSel=%d  bufSel=%d(%d)  second=%s", state.device1, state.apiSel1,
                       state.bufSel1, kWizardBufferSizes[clampIndex(state.bufSel1, kWizardBufferSizeCount)],
                       state.useSecond ? "true" : "false");
    }
}

void beginWizard(WizardState& state, const std::string& logFolder) {
    if (!state.services.settings)
        state.services.settings = &gSettings;
    state.step = 0;
    state.testMarker = -1;
    state.troubleshooter = false;
    state.channelsOf[0] = state.channelsOf[1] = 0;
    state.applied = false;
    if (state.log && !logFolder.empty())
        state.log->open(logFolder);
    copyAndFilter(state);
    matchSavedDevices(state, state.services.settings->snapshot());
}

void previewApply(WizardState& state, int channels) {
    if (state.devices.empty()) {
        if (state.log)
            state.log->log("previewApply: SKIPPED, device list empty");
        return;
    }
    const int count = static_cast<int>(state.devices.size());
    const PhysicalDevice& d1 = state.devices[static_cast<size_t>(clampIndex(state.device1, count))];
    const DeviceInfo* v = chosenVariant(state, 1);
    if (!v)
        return;
    const int32_t frames = kWizardBufferSizes[clampIndex(state.bufSel1, kWizardBufferSizeCount)];
    state.channelsOf[0] = channels >= 1 ? channels : std::min(v->maxOutputChannels, 8);
    const bool second = state.useSecond && clampIndex(state.device2, count) != clampIndex(state.device1, count);
    const PhysicalDevice* d2 = second ? &state.devices[static_cast<size_t>(clampIndex(state.device2, count))] : nullptr;
    const DeviceInfo* w = second ? chosenVariant(state, 2) : nullptr;
    const int32_t frames2 = kWizardBufferSizes[clampIndex(state.bufSel2, kWizardBufferSizeCount)];
    state.channelsOf[1] = w ? std::min(w->maxOutputChannels, 8) : 0;

    state.services.settings->edit(
        [&](HapticSettings& s) {
            s.audioDeviceIndex = v->paIndex;
            AudioDeviceSlot& a = s.devices[0];
            a.paIndex = v->paIndex;
            a.channels = std::max(channels, 0);
            a.bufferSize = frames;
            a.enabled = 1;
            copyText(a.name, d1.hardwareName.c_str());
            copyText(a.api, v->hostApiName.c_str());
            copyText(a.clsid, v->clsid.c_str());
            if (w) {
                AudioDeviceSlot& b = s.devices[1];
                b.paIndex = w->paIndex;
                b.channels = 0;
                b.bufferSize = frames2;
                b.enabled = 1;
                copyText(b.name, d2->hardwareName.c_str());
                copyText(b.api, w->hostApiName.c_str());
                copyText(b.clsid, w->clsid.c_str());
                s.numDevices = 2;
            } else {
                s.numDevices = 1;
                s.devices[1].enabled = 0;
                for (ZoneConfig& zone : s.zones) {
                    if (zone.device > 0)
                        zone.device = 0;
                }
            }
        },
        false);
    if (state.log) {
        state.log->log("previewApply: dev1 paIdx=%d  ch=%d(0=auto)  buf=%d  api=%s", v->paIndex, channels, frames,
                       v->hostApiName.c_str());
    }
    requestRestart(state, v->paIndex, channels, frames);
}

void applyWizard(WizardState& state) {
    state.services.settings->markDirty();
    if (state.log)
        state.log->log("APPLY: wizard completed, config marked dirty.");
    state.applied = true;
}

void stopTestTone(WizardState& state) {
    if (state.testMarker >= 0) {
        const int device = state.testMarker == kTroubleshooterTestMarker ? state.troubleshooterDevice : state.testMarker;
        if (state.services.testTone)
            state.services.testTone(0, 0, 0.0f, device);
    }
    state.testMarker = -1;
    state.testChannel = -1;
    state.toneDeferred = false;
}

// Starts a held test's tone now, or once the streams run.
void startWizardTone(WizardState& state, int channel, int stream) {
    if (state.restart == RestartState::Pending || state.restart == RestartState::Opening) {
        state.toneDeferred = true;
        state.deferredChannel = channel;
        state.deferredStream = stream;
        return;
    }
    if (state.services.testTone)
        state.services.testTone(channel, kTestToneMs, kTestToneGain, stream);
}

// Looks at the devices again (the empty-list page): a fresh copy, and when
// that is still empty a restart, which enumerates the devices afresh.
void lookForDevicesAgain(WizardState& state) {
    if (state.log)
        state.log->log("Step1: looking for devices again");
    copyAndFilter(state);
    if (!state.devices.empty()) {
        matchSavedDevices(state, state.services.settings->snapshot());
        return;
    }
    if (state.services.reopenAudio && state.restart != RestartState::Pending &&
        state.restart != RestartState::Opening) {
        state.lookingAgain = true;
        requestRestart(state, -1, 0, 0);
    }
}

bool wizardTimer(uint32_t timerId, uintptr_t, intptr_t, void* user) {
    auto* state = static_cast<WizardState*>(user);
    if (!state || timerId != kWizardTimerId)
        return false;
    const RestartState before = state->restart;
    if (state->restart == RestartState::Pending) {
        const int32_t base = initCount(*state);
        if (state->services.reopenAudio &&
            state->services.reopenAudio(state->pendingArgs[0], state->pendingArgs[1], state->pendingArgs[2])) {
            state->restart = RestartState::Opening;
            state->restartBaseCount = base;
            if (state->log)
                state->log->log("Audio restart taken after waiting");
        }
    }
    if (state->restart == RestartState::Opening && initCount(*state) != state->restartBaseCount) {
        state->restart = audioRuns(*state) ? RestartState::Ready : RestartState::Failed;
        if (state->log)
            state->log->log("Audio restart finished: %s", state->restart == RestartState::Ready ? "running" : "no streams");
        if (state->lookingAgain) {
            state->lookingAgain = false;
            copyAndFilter(*state);
            matchSavedDevices(*state, state->services.settings->snapshot());
        }
        if (state->toneDeferred && state->testMarker >= 0) {
            state->toneDeferred = false;
            if (state->services.testTone)
                state->services.testTone(state->deferredChannel, kTestToneMs, kTestToneGain, state->deferredStream);
        }
    }
    if (state->restart != RestartState::Pending && state->restart != RestartState::Opening)
        setTimer(*state, false);
    return state->restart != before;
}

bool finishWizard(WizardState& state, bool programEnding) {
    stopTestTone(state);
    if (state.captured && state.services.setCapture)
        state.services.setCapture(false);
    state.captured = false;
    setTimer(state, false);
    // The choice stays in the settings and the audio keeps running on it,
    // applied or not; nothing here waits for the audio side. A restart still
    // refused is asked for once more (the audio side answers at once); when
    // refused again, the devices open at the next restart. While the program
    // ends nothing is asked for.
    if (state.restart == RestartState::Pending) {
        if (!programEnding && state.services.reopenAudio &&
            state.services.reopenAudio(state.pendingArgs[0], state.pendingArgs[1], state.pendingArgs[2])) {
            state.restart = RestartState::Opening;
            if (state.log)
                state.log->log("Audio restart taken at close");
        } else {
            state.restart = RestartState::Idle;
            if (state.log)
                state.log->log("Audio restart still refused; the devices open at the next restart");
        }
    }
    if (state.log) {
        state.log->log("Wizard exited. applied=%s", state.applied ? "true" : "false");
        state.log->close();
    }
    return state.applied;
}

}  // namespace qv
