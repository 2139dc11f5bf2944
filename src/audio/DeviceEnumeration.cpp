#include "audio/DeviceEnumeration.h"

#include "audio/DeviceNames.h"
#include "audio/HostApi.h"
#include "audio/StreamSlot.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace qv {
namespace {

constexpr AsioRegistryView kRegistryViews[] = {AsioRegistryView::Native64, AsioRegistryView::Wow32};

// A registry key with its texts cut to the readers' buffer sizes; false when
// it names no usable driver (no class identifier, or a blank name).
bool usableDriver(const AsioRegistryKey& key, std::string& name, std::string& clsid) {
    name = key.name.substr(0, std::min(key.name.find('\0'), kAsioKeyNameMax));
    clsid = key.clsid.substr(0, std::min(key.clsid.find('\0'), kAsioClsidMax));
    return !clsid.empty() && name.find_first_not_of(" \t\r\n") != std::string::npos;
}

void printFound(const std::string& name, const std::string& clsid) {
    outPrint("  [ASIO Registry] Found: %s  CLSID=%s\n", name.c_str(), clsid.c_str());
}

double finiteOrZero(double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; }

// The first `limit` bytes of text, not cutting a UTF-8 sequence in two.
std::string cutText(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

PhysicalDevice newDevice(const std::string& name, const DeviceInfo& variant) {
    PhysicalDevice device;
    device.hardwareName = name;
    device.apis.push_back(variant);
    device.suitable = !isUnsuitableOutput(name);
    return device;
}

}  // namespace

std::vector<PhysicalDevice> enumeratePhysicalDevices(IPortAudio& portAudio, IAsioRegistry& registry) {
    std::vector<PhysicalDevice> list;
    DeviceNameIndex nameIndex;

    const PaDeviceIndex count = portAudio.deviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = portAudio.deviceInfo(i);
        if (info == nullptr || info->maxOutputChannels <= 0)
            continue;
        const PaHostApiInfo* api = portAudio.hostApiInfo(info->hostApi);
        if (api == nullptr)
            continue;

        DeviceInfo variant;
        variant.paIndex = i;
        variant.hostApiType = api->type;
        variant.hostApiName = hostApiName(api->type);
        variant.maxOutputChannels = info->maxOutputChannels;
        variant.defaultLowOutputLatencyMs = finiteOrZero(info->defaultLowOutputLatency) * 1000.0;
        // A server that sets the buffer: its size, and the latency a stream
        // on it will show. PortAudio's JACK host reports a stream's latency
        // as the playback port's latency less one server period.
        const int serverFrames = portAudio.serverBufferFrames(api->type);
        const double rate = finiteOrZero(info->defaultSampleRate);
        if (serverFrames > 0 && serverFrames <= (1 << 20) && rate > 0.0) {
            variant.serverBufferFrames = serverFrames;
            variant.serverLatencyMs = streamOutputLatencyMs(
                variant.defaultLowOutputLatencyMs - serverFrames / rate * 1000.0, serverFrames, rate, 0.0);
        }

        const std::string name = normaliseHardwareName(info->name ? info->name : "");
        const std::string key = toLowerCopy(name);
        const auto found = nameIndex.find(key);
        if (found == nameIndex.end()) {
            nameIndex.emplace(key, list.size());
            list.push_back(newDevice(name, variant));
        } else {
            list[found->second].apis.push_back(variant);
        }
    }

    mergeAsioRegistry(registry, list, nameIndex);

    for (PhysicalDevice& device : list) {
        std::stable_sort(device.apis.begin(), device.apis.end(), compareHostApiRank);
        device.selectedApi = 0;
        device.maxChannels = std::min(device.apis.front().maxOutputChannels, kMaxStreamChannels);
    }
    printPhysicalDeviceTable(list);
    return list;
}

void mergeAsioRegistry(IAsioRegistry& registry, std::vector<PhysicalDevice>& list, DeviceNameIndex& nameIndex) {
    std::vector<std::string> seen;
    for (AsioRegistryView view : kRegistryViews) {
        std::vector<AsioRegistryKey> keys;
        if (!registry.readView(view, keys))
            continue;
        for (const AsioRegistryKey& key : keys) {
            std::string name, clsid;
            if (!usableDriver(key, name, clsid))
                continue;
            if (std::find(seen.begin(), seen.end(), clsid) != seen.end())
                continue;
            seen.push_back(clsid);
            printFound(name, clsid);

            const std::string lowerName = toLowerCopy(name);
            bool matched = false;
            for (PhysicalDevice& device : list) {
                const std::string lowerDevice = toLowerCopy(device.hardwareName);
                for (DeviceInfo& variant : device.apis) {
                    if (variant.hostApiType != paASIO)
                        continue;
                    if (lowerDevice.find(lowerName) != std::string::npos ||
                        lowerName.find(lowerDevice) != std::string::npos) {
                        variant.clsid = clsid;
                        variant.asioFlag = true;
                        matched = true;
                        break;
                    }
                }
                if (matched)
                    break;
            }
            if (matched)
                continue;

            DeviceInfo variant;
            variant.paIndex = -1;
            variant.hostApiName = "ASIO";
            variant.hostApiType = paASIO;
            variant.maxOutputChannels = 4;
            variant.defaultLowOutputLatencyMs = 0.0;
            variant.clsid = clsid;
            variant.asioFlag = true;
            const auto found = nameIndex.find(lowerName);
            if (found == nameIndex.end()) {
                nameIndex.emplace(lowerName, list.size());
                list.push_back(newDevice(name, variant));
            } else {
                list[found->second].apis.push_back(variant);
            }
        }
    }
}

void scanAsioRegistry(IAsioRegistry& registry, std::vector<DeviceSelection>& selections) {
    for (AsioRegistryView view : kRegistryViews) {
        std::vector<AsioRegistryKey> keys;
        if (!registry.readView(view, keys))
            continue;
        for (size_t index = 0; index < keys.size(); ++index) {
            std::string name, clsid;
            if (!usableDriver(keys[index], name, clsid))
                continue;
            const bool listed = std::any_of(selections.begin(), selections.end(),
                                            [&clsid](const DeviceSelection& s) { return s.clsid == clsid; });
            if (listed)
                continue;
            DeviceSelection selection;
            selection.id = kRegistryAsioIdBase + static_cast<int32_t>(index + 1);
            selection.name = name;
            selection.api = "ASIO";
            selection.clsid = clsid;
            selection.channels = 4;
            selection.enabled = true;
            selection.sampleRate = 48000.0;
            selections.push_back(selection);
            printFound(name, clsid);
        }
    }
}

namespace {

std::mutex& tableNoteMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

std::string& tableNote() {
    static std::string* note = new std::string();
    return *note;
}

std::atomic<std::atomic<uint64_t>*> gTableMemory{nullptr};

// FNV-1a: tells one table's text from another's; never 0, the memory's
// "nothing printed yet".
uint64_t tableHash(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash != 0 ? hash : 1;
}

}  // namespace

void setDeviceTableMemory(std::atomic<uint64_t>* lastPrinted) { gTableMemory.store(lastPrinted); }

void setDeviceTableNote(std::string note) {
    std::lock_guard<std::mutex> lock(tableNoteMutex());
    tableNote() = std::move(note);
}

void printPhysicalDeviceTable(const std::vector<PhysicalDevice>& list) {
    const std::string rule = "  " + std::string(76, '-') + "\n";
    std::string note;
    {
        std::lock_guard<std::mutex> lock(tableNoteMutex());
        note = tableNote();
    }
    std::string text = note.empty() ? "\n  Physical audio devices:\n" + rule
                                    : "\n  Physical audio devices (" + note + "):\n" + rule;
    char line[256];
    std::snprintf(line, sizeof line, "  %-4s%-36s%-20s%-6s%s\n", "#", "Hardware Name", "APIs", "MaxCh", "Suitable");
    text += line;
    text += rule;
    for (size_t i = 0; i < list.size(); ++i) {
        const PhysicalDevice& device = list[i];
        std::string apis;
        int maxChannels = 0;
        for (const DeviceInfo& variant : device.apis) {
            if (!apis.empty())
                apis += ", ";
            apis += variant.hostApiName;
            maxChannels = std::max(maxChannels, static_cast<int>(variant.maxOutputChannels));
        }
        std::snprintf(line, sizeof line, "  %-4zu%-36s%-20s%-6d%s\n", i, cutText(device.hardwareName, 34).c_str(),
                      cutText(apis, 18).c_str(), maxChannels, device.suitable ? "yes" : "NO");
        text += line;
    }
    text += rule + "\n";
    if (std::atomic<uint64_t>* memory = gTableMemory.load()) {
        const uint64_t hash = tableHash(text);
        if (memory->exchange(hash) == hash)
            return;  // the same table as last printed
    }
    outWrite(text);
}

int findDeviceByName(IPortAudio& portAudio, std::string_view name) {
    if (name.empty())
        return -1;
    const std::string wanted = toLowerCopy(name);
    const PaDeviceIndex count = portAudio.deviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = portAudio.deviceInfo(i);
        if (info == nullptr || info->maxOutputChannels <= 0 || info->name == nullptr)
            continue;
        if (toLowerCopy(info->name).find(wanted) != std::string::npos)
            return i;
    }
    return -1;
}

RawDeviceList enumerateRawDevices(IPortAudio& portAudio) {
    RawDeviceList raw;
    raw.count = portAudio.deviceCount();
    if (raw.count < 0) {
        const char* text = portAudio.errorText(raw.count);
        raw.errorText = text ? text : "";
        return raw;
    }
    const PaDeviceIndex count = std::min<PaDeviceIndex>(raw.count, kMaxRawDevices);
    raw.devices.reserve(static_cast<size_t>(count));
    for (PaDeviceIndex i = 0; i < count; ++i) {
        RawDeviceEntry entry;
        if (const PaDeviceInfo* info = portAudio.deviceInfo(i)) {
            entry.present = true;
            entry.name = info->name ? info->name : "";
            if (const PaHostApiInfo* api = portAudio.hostApiInfo(info->hostApi)) {
                entry.hostApiName = api->name ? api->name : "";
                entry.hostApiType = api->type;
            }
            entry.maxInputChannels = info->maxInputChannels;
            entry.maxOutputChannels = info->maxOutputChannels;
            entry.defaultSampleRate = info->defaultSampleRate;
        }
        raw.devices.push_back(std::move(entry));
    }
    return raw;
}

}  // namespace qv

namespace qv {

std::vector<InputDevice> enumerateInputDevices(IPortAudio& portAudio) {
    std::vector<InputDevice> inputs;
    const PaDeviceIndex count = std::max<PaDeviceIndex>(portAudio.deviceCount(), 0);
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = portAudio.deviceInfo(i);
        if (!info || info->maxInputChannels <= 0)
            continue;
        InputDevice device;
        device.paIndex = i;
        device.name = info->name && info->name[0] ? info->name : "(unknown)";
        const PaHostApiInfo* api = portAudio.hostApiInfo(info->hostApi);
        device.hostApiName = api && api->name ? api->name : "";
        device.inputChannels = info->maxInputChannels;
        inputs.push_back(std::move(device));
    }
    return inputs;
}

}  // namespace qv
