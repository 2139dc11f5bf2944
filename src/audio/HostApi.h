#pragma once
// PortAudio host APIs by type id: the names stored as a device's API in the
// settings and the preference order among the variants of one device.
//
// On Linux PortAudio offers JACK, ALSA and OSS. JACK plays the part that ASIO
// plays on Windows (the low-latency path through one audio server) and ranks
// right after ASIO; ALSA plays the part of WDM-KS (direct access to the
// hardware); OSS comes after all others. The device wizard groups them the
// same way: ASIO and JACK are the "pro" class, WDM-KS and ALSA the "direct"
// class.

#include "audio/AudioDevice.h"

#include <string_view>

namespace qv {

// "DirectSound", "MME", "ASIO", "WDM-KS", "WASAPI", "ALSA", "JACK", "OSS",
// else "Unknown".
const char* hostApiName(int hostApiType);

// Preference rank of a variant, lower first: flagged ASIO 0, ASIO 1, JACK 2,
// WDM-KS and ALSA 3, WASAPI 4, MME 5, any other (DirectSound included) 6,
// OSS 7.
int hostApiRank(const DeviceInfo& variant);
// True when a ranks before b.
bool compareHostApiRank(const DeviceInfo& a, const DeviceInfo& b);

enum class HostApiClass { Pro, Direct, Other };
HostApiClass hostApiClass(int hostApiType);
// The class of a host API stored by its name (a device slot's api); Other
// for unknown names.
HostApiClass hostApiClassOfName(std::string_view name);

}  // namespace qv
