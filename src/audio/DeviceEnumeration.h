#pragma once
// Turns PortAudio's flat device list (one entry per host API and role) plus
// the ASIO driver registry into PhysicalDevice records: one per hardware
// name, its variants in preference order, a channel cap and a suitability
// flag; prints the device table; finds devices by name.
//
// Runs on the caller's thread (main at start-up, the re-enumeration worker)
// and takes no lock; PortAudio must stay initialised while it runs. Nothing
// here reports an error: unreadable registry keys, devices without info,
// without outputs or without a host API are skipped.

#include "audio/AsioRegistry.h"
#include "audio/AudioDevice.h"
#include "audio/PortAudioApi.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Lower-cased hardware name -> position in the list under construction.
using DeviceNameIndex = std::map<std::string, size_t>;

// The grouped, merged, sorted list; prints the device table.
std::vector<PhysicalDevice> enumeratePhysicalDevices(IPortAudio& portAudio, IAsioRegistry& registry);

// Adds the ASIO registry's drivers to a list under construction: a driver
// whose name matches a device's ASIO variant confirms it (clsid, asioFlag);
// any other becomes a registry-only variant of the device of that name, or a
// device of its own. A driver listed in both views is taken once. Prints one
// "  [ASIO Registry] Found: " line per driver.
void mergeAsioRegistry(IAsioRegistry& registry, std::vector<PhysicalDevice>& list, DeviceNameIndex& nameIndex);

// Appends the registry's drivers as DeviceSelection entries with ids
// kRegistryAsioIdBase + (enumeration index + 1); the index counts from 0 again
// in the second view. Skips drivers whose class identifier is already listed.
void scanAsioRegistry(IAsioRegistry& registry, std::vector<DeviceSelection>& selections);

// Every device with at least one input channel, in PortAudio order.
std::vector<InputDevice> enumerateInputDevices(IPortAudio& portAudio);

// PortAudio's list as it stands, index by index (at most kMaxRawDevices).
inline constexpr int kMaxRawDevices = 1024;
RawDeviceList enumerateRawDevices(IPortAudio& portAudio);

void printPhysicalDeviceTable(const std::vector<PhysicalDevice>& list);
// Where the last printed table is remembered (a hash of its text), when it
// must outlive this process: the audio host is replaced for every look of
// the device search and every recovery attempt, and each would print the
// same table again. Set, a table is printed only when it differs from the
// one last printed; null (the default) prints every table. The memory must
// stay valid while tables are printed. Any thread.
void setDeviceTableMemory(std::atomic<uint64_t>* lastPrinted);
// A note for the table's heading line ("Physical audio devices (note):"),
// e.g. which JACK the audio host reaches; empty for none. Any thread.
void setDeviceTableNote(std::string note);

// PortAudio index of the first device (in PortAudio order) with an output
// whose lower-cased name contains the lower-cased name; -1 when none does.
// An empty name matches nothing.
int findDeviceByName(IPortAudio& portAudio, std::string_view name);

}  // namespace qv
