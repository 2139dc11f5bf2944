// initAudio and the re-enumeration of the devices. Sections:
//   name resolution helpers
//   initAudio: saved device, multi-device, single device, publishing
//   re-enumeration

#include "audio/AudioInit.h"

#include "audio/AudioStatus.h"
#include "audio/HostApi.h"
#include "platform/Output.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

std::string lowerCopy(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

const char* deviceNameOf(IPortAudio* pa, const AudioEngine& engine, int index) {
    if (!pa || index < 0 || !engine.isPortAudioInitialised())
        return nullptr;
    const PaDeviceInfo* info = pa->deviceInfo(index);
    return info ? (info->name ? info->name : "") : nullptr;
}

// The host API of a PortAudio device ("JACK", "ALSA", ...); "" when unknown.
const char* hostApiNameOf(IPortAudio* pa, const AudioEngine& engine, int index) {
    if (!pa || index < 0 || !engine.isPortAudioInitialised())
        return "";
    const PaDeviceInfo* info = pa->deviceInfo(index);
    const PaHostApiInfo* api = info ? pa->hostApiInfo(info->hostApi) : nullptr;
    return api ? hostApiName(api->type) : "";
}

}  // namespace

// ---- name resolution helpers ----

std::vector<std::string> outputPortNames(const HapticSettings& settings, int slot) {
    std::vector<std::string> names;
    const int zones = std::clamp(settings.numActiveZones, 0, kMaxZones);
    for (int channel = 0; channel < kMaxStreamChannels; ++channel) {
        std::string name;
        for (int z = 0; z < zones && name.empty(); ++z) {
            const ZoneConfig& zone = settings.zones[z];
            if (!zone.active || zone.device != slot || zone.channel != channel)
                continue;
            // Printable ASCII without the client separator, trimmed.
            for (const char c : std::string(zone.name, strnlen(zone.name, sizeof zone.name)))
                name += c >= 0x20 && c < 0x7f && c != ':' ? c : '_';
            name.erase(0, name.find_first_not_of(' '));
            name.erase(name.find_last_not_of(' ') + 1);
        }
        // The fallback names stay free: a zone never takes one of them.
        const bool fallbackLike =
            name.size() > 4 && name.compare(0, 4, "out_") == 0 &&
            name.find_first_not_of("0123456789", 4) == std::string::npos;
        if (name.empty() || fallbackLike || std::find(names.begin(), names.end(), name) != names.end())
            name = "out_" + std::to_string(channel + 1);
        names.push_back(std::move(name));
    }
    return names;
}

std::string savedDeviceNotFoundText(const std::string& name) {
    return "Saved device '" + name + "' not found in current device list";
}

int findDeviceByHardwareName(const std::vector<PhysicalDevice>& devices, const std::string& name) {
    if (name.empty())
        return -1;
    const std::string wanted = lowerCopy(name);
    for (size_t i = 0; i < devices.size(); ++i) {
        const std::string hardware = lowerCopy(devices[i].hardwareName);
        if (hardware.empty())
            continue;  // an empty name is contained in every name
        if (hardware == wanted || hardware.find(wanted) != std::string::npos ||
            wanted.find(hardware) != std::string::npos)
            return static_cast<int>(i);
    }
    return -1;
}

int chooseVariant(const PhysicalDevice& device, const std::string& api, bool requireIndex) {
    if (!api.empty()) {
        for (size_t v = 0; v < device.apis.size(); ++v) {
            if (device.apis[v].hostApiName == api && (!requireIndex || device.apis[v].paIndex >= 0))
                return static_cast<int>(v);
        }
    }
    for (size_t v = 0; v < device.apis.size(); ++v)
        if (device.apis[v].paIndex >= 0)
            return static_cast<int>(v);
    return -1;
}

int streamActiveChannels(const AudioEngine& engine, int stream) {
    const StreamSlot* slot = engine.stream(stream);
    return slot ? slot->activeChannels : 0;
}

// ---- initAudio ----

void AudioInitContext::describeFailure(AudioProblem why, std::string text, std::string device) {
    // An audio system that stopped answering is the cause whatever step
    // noticed it (an empty device list, a failed open).
    if (why != AudioProblem::None && engine && engine->isAudioSystemStuck()) {
        why = AudioProblem::NotResponding;
        text = engine->lastErrorText();
        device.clear();
    }
    problem = why;
    problemText = std::move(text);
    missingDevice = std::move(device);
}

bool AudioInitContext::initAudio() {
    AudioEngine& audio = *engine;
    audio.closeAll();
    multiDevice = false;
    describeFailure(AudioProblem::None, {});

    HapticSettings saved = settings->snapshot();
    AudioDeviceSlot& dev0 = saved.devices[0];
    int index = saved.audioDeviceIndex;
    const std::string savedName = dev0.name;
    const std::string savedApi = dev0.api;
    logLine(formatText("initAudio: devIdx=%d name=\"%s\" api=\"%s\" clsid=\"%s\" ch=%d buf=%d", index, dev0.name,
                   dev0.api, dev0.clsid, dev0.channels, dev0.bufferSize));

    // The streams are closed from here on: whatever fails below, the status
    // and the synthesis must not claim streams that no longer play.
    auto fail = [&]() {
        synth->setStreamLayout(0, nullptr);
        gAudioReady = 0;
        gAudioStreamCount = 0;
        publishDeviceStatus(DeviceStatusTable{});
        return false;
    };

    if (index < 0) {
        if (dev0.clsid[0] != '\0' && savedApi == "ASIO") {
            logLine("initAudio: registry ASIO (devIdx=-1), CLSID path");
        } else {
            outWrite("  WARNING: No audio device configured. Run the device wizard.\n");
            logLine("initAudio: no device configured (devIdx=-1)");
            describeFailure(AudioProblem::NoDeviceConfigured, "No audio device configured. Run the device wizard.");
            audio.noteError("No audio device configured. Run the device wizard.");
            return fail();
        }
    } else {
        if (!savedName.empty()) {
            const int device = findDeviceByHardwareName(*devices, savedName);
            const int variant = device >= 0 ? chooseVariant((*devices)[static_cast<size_t>(device)], savedApi, true) : -1;
            if (variant < 0) {
                outWrite("  WARNING: Saved device '" + savedName + "' not found in current device list\n");
                logLine("initAudio: saved device '" + savedName + "' not found");
                describeFailure(AudioProblem::DeviceNotFound, savedDeviceNotFoundText(savedName), savedName);
                audio.noteError(savedDeviceNotFoundText(savedName));
                return fail();
            }
            const DeviceInfo& info = (*devices)[static_cast<size_t>(device)].apis[static_cast<size_t>(variant)];
            index = info.paIndex;
            dev0.paIndex = index;
            if (!info.clsid.empty())
                copyText(dev0.clsid, info.clsid.c_str());
            logLine(formatText("initAudio: name resolved devIdx=%d clsid=\"%s\"", index, dev0.clsid));
        }
        saved.audioDeviceIndex = index;
        if (const char* name = deviceNameOf(portAudio, audio, index))
            copyText(dev0.name, name);
        const AudioDeviceSlot resolved = dev0;
        settings->edit([&](HapticSettings& s) {
            s.audioDeviceIndex = index;
            s.devices[0].paIndex = resolved.paIndex;
            copyText(s.devices[0].clsid, resolved.clsid);
            copyText(s.devices[0].name, resolved.name);
        });
    }

    std::string clsid = dev0.clsid;
    if (!savedApi.empty() && savedApi != "ASIO")
        clsid.clear();
    logLine(formatText("initAudio: final devIdx=%d dev0Api=\"%s\" clsid=\"%s\" nDevCfg=%d", index, savedApi.c_str(),
                   clsid.c_str(), saved.numDevices));

    auto render = [s = synth](int32_t stream, AudioBuffer& buffer) { s->render(stream, buffer); };
    // Ports (JACK) named after the zones each device slot plays.
    if (portAudio != nullptr) {
        portAudio->setOutputPortNames(-1, {});
        if (index >= 0)
            portAudio->setOutputPortNames(index, outputPortNames(saved, 0));
    }
    bool ok = false;
    bool opened = false;

    // Multi-device: one stream per enabled slot whose device is found.
    const int slotCount = saved.numDevices > kMaxAudioDevices ? kMaxAudioDevices : saved.numDevices;
    if (slotCount > 1) {
        std::vector<PhysicalDevice> open;
        std::vector<int32_t> slotOfEntry;
        for (int s = 0; s < slotCount; ++s) {
            AudioDeviceSlot& slot = saved.devices[s];
            if (!slot.enabled)
                continue;
            const int channels = slot.channels < 2 ? 0 : slot.channels;
            const int device = findDeviceByHardwareName(*devices, slot.name);
            const int variant = device >= 0 ? chooseVariant((*devices)[static_cast<size_t>(device)], slot.api, false) : -1;
            if (variant < 0) {
                outWrite(std::string("  [AudioEngine] Multi-device: '") + slot.name + "' not found, skipping\n");
                continue;
            }
            PhysicalDevice entry = (*devices)[static_cast<size_t>(device)];
            entry.selectedApi = variant;
            entry.maxChannels = channels;
            entry.bufferSize = slot.bufferSize;
            entry.enabled = true;
            const DeviceInfo& info = entry.apis[static_cast<size_t>(variant)];
            slot.paIndex = info.paIndex;
            if (portAudio != nullptr && info.paIndex >= 0)
                portAudio->setOutputPortNames(info.paIndex, outputPortNames(saved, s));
            outWrite(formatText("  [AudioEngine] Multi-device %d: %s via %s (%dch)\n", s, entry.hardwareName.c_str(),
                            info.hostApiName.c_str(), channels));
            open.push_back(std::move(entry));
            slotOfEntry.push_back(s);
        }
        if (open.size() < 2) {
            outWrite(formatText("  [AudioEngine] Only %d device(s) resolved, falling back to single device\n",
                            static_cast<int>(open.size())));
        } else if (audio.openMultiDevice(open, saved.audioSampleRate)) {
            // Each stream plays the slot whose device it opened: streams are
            // numbered without the devices that were skipped or failed.
            const int count = audio.streamCount() > kMaxSynthStreams ? kMaxSynthStreams : audio.streamCount();
            int32_t slots[kMaxSynthStreams] = {-1, -1, -1, -1};
            std::vector<bool> used(open.size(), false);
            for (int st = 0; st < count; ++st) {
                const StreamSlot* stream = audio.stream(st);
                for (size_t e = 0; stream && e < open.size(); ++e) {
                    if (!used[e] && open[e].apis[static_cast<size_t>(open[e].selectedApi)].paIndex == stream->deviceIndex) {
                        used[e] = true;
                        slots[st] = slotOfEntry[e];
                        saved.devices[slotOfEntry[e]].channels = stream->activeChannels;
                        break;
                    }
                }
            }
            settings->edit([&](HapticSettings& s) {
                for (int i = 0; i < slotCount; ++i) {
                    s.devices[i].paIndex = saved.devices[i].paIndex;
                    s.devices[i].channels = saved.devices[i].channels;
                }
            });
            synth->setStreamLayout(count, slots);
            audio.setRenderCallback(render);
            if (audio.startAll()) {
                outWrite(formatText("  [AudioEngine] Multi-device started: %d streams\n", audio.streamCount()));
                ok = true;
                opened = true;
                multiDevice = true;
            }
        }
        if (!opened && open.size() >= 2)
            outWrite("  [AudioEngine] Multi-device init failed, falling back to single device\n");
    }

    // Single device.
    if (!opened && audio.openDevice(index, dev0.channels, saved.audioSampleRate, dev0.bufferSize, clsid)) {
        const int channels = streamActiveChannels(audio, 0);
        settings->edit([channels](HapticSettings& s) { s.devices[0].channels = channels; });
        const int32_t slots[] = {0};
        synth->setStreamLayout(1, slots);
        audio.setRenderCallback(render);
        ok = audio.startAll();
    }

    // Publish.
    if (!ok) {
        outWrite("  WARNING: Audio init failed: " + audio.lastErrorText() + "\n");
        describeFailure(AudioProblem::OpenFailed, "Audio init failed: " + audio.lastErrorText());
        return fail();
    }
    const int count = audio.streamCount();
    gAudioReady = 1;
    gAudioStreamCount = count;
    const DeviceStatusTable previous = deviceStatus();
    DeviceStatusTable table;
    for (int i = 0; i < kDeviceStatusRows && i < count; ++i) {
        const StreamSlot* stream = audio.stream(i);
        if (!stream)
            continue;
        DeviceStatusRow& row = table.rows[i];
        row.running = stream->running.load();
        row.channels = stream->activeChannels;
        row.isAsio = stream->isAsio ? 1 : 0;
        row.latencyMs = static_cast<float>(stream->outputLatencyMs);
        if (const char* name = deviceNameOf(portAudio, audio, stream->deviceIndex))
            copyText(row.deviceName, name);
        else
            copyText(row.deviceName, previous.rows[i].deviceName);
        copyText(row.hostApi, hostApiNameOf(portAudio, audio, stream->deviceIndex));
    }
    publishDeviceStatus(table);
    return true;
}

// ---- re-enumeration ----

void logDeviceList(const std::function<void(std::string_view)>& log, const std::vector<PhysicalDevice>& devices) {
    if (!log)
        return;
    const int count = static_cast<int>(devices.size());
    log(formatText("reEnumerate() done: %d devices", count));
    for (int i = 0; i < count; ++i) {
        const PhysicalDevice& d = devices[static_cast<size_t>(i)];
        log(formatText("  dev[%d] \"%s\" apis=%d", i, d.hardwareName.c_str(), static_cast<int>(d.apis.size())));
    }
}

int AudioInitContext::reEnumerateDevices() {
    *devices = engine->reinitialise();
    logDeviceList(log, *devices);
    return static_cast<int>(devices->size());
}

}  // namespace qv
