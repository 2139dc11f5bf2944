#include "audio/HostApi.h"

#include <portaudio.h>

namespace qv {

const char* hostApiName(int hostApiType) {
    switch (hostApiType) {
    case paDirectSound: return "DirectSound";
    case paMME: return "MME";
    case paASIO: return "ASIO";
    case paWDMKS: return "WDM-KS";
    case paWASAPI: return "WASAPI";
    case paALSA: return "ALSA";
    case paJACK: return "JACK";
    case paOSS: return "OSS";
    default: return "Unknown";
    }
}

int hostApiRank(const DeviceInfo& variant) {
    switch (variant.hostApiType) {
    case paASIO: return variant.asioFlag ? 0 : 1;
    case paJACK: return 2;
    case paWDMKS:
    case paALSA: return 3;
    case paWASAPI: return 4;
    case paMME: return 5;
    case paOSS: return 7;
    default: return 6;
    }
}

bool compareHostApiRank(const DeviceInfo& a, const DeviceInfo& b) { return hostApiRank(a) < hostApiRank(b); }

HostApiClass hostApiClass(int hostApiType) {
    switch (hostApiType) {
    case paASIO:
    case paJACK: return HostApiClass::Pro;
    case paWDMKS:
    case paALSA: return HostApiClass::Direct;
    default: return HostApiClass::Other;
    }
}

HostApiClass hostApiClassOfName(std::string_view name) {
    for (int type : {paASIO, paJACK, paWDMKS, paALSA}) {
        if (name == hostApiName(type))
            return hostApiClass(type);
    }
    return HostApiClass::Other;
}

}  // namespace qv
