#include "platform/JackClientHooks.h"

#include <jack/jack.h>

#include <cstdarg>
#include <dlfcn.h>
#include <map>
#include <mutex>

namespace qv {
namespace {

using ClientOpenFn = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
using ClientCloseFn = int (*)(jack_client_t*);
using PortRegisterFn = jack_port_t* (*)(jack_client_t*, const char*, const char*, unsigned long, unsigned long);

// libjack's own functions, the next definitions after ours.
template <typename Fn>
Fn nextDefinition(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

ClientOpenFn realClientOpen() {
    static const ClientOpenFn fn = nextDefinition<ClientOpenFn>("jack_client_open");
    return fn;
}

ClientCloseFn realClientClose() {
    static const ClientCloseFn fn = nextDefinition<ClientCloseFn>("jack_client_close");
    return fn;
}

PortRegisterFn realPortRegister() {
    static const PortRegisterFn fn = nextDefinition<PortRegisterFn>("jack_port_register");
    return fn;
}

struct Shared {
    std::mutex mutex;
    jack_client_t* portAudioClient = nullptr;
    std::map<int, std::vector<std::string>> names;
};

Shared& shared() {
    // Never destroyed: PortAudio may close its client from a thread that
    // outlives main.
    static Shared* instance = new Shared();
    return *instance;
}

thread_local int tInitialising = 0;
thread_local int tOpenDevice = -1;
thread_local size_t tNextPort = 0;

}  // namespace

JackInitialiseScope::JackInitialiseScope() { ++tInitialising; }
JackInitialiseScope::~JackInitialiseScope() { --tInitialising; }

JackOpenScope::JackOpenScope(int device) {
    tOpenDevice = device;
    tNextPort = 0;
}

JackOpenScope::~JackOpenScope() { tOpenDevice = -1; }

void setJackPortNames(int device, std::vector<std::string> names) {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.names[device] = std::move(names);
}

void clearJackPortNames() {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.names.clear();
}

int jackServerBufferFrames() {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.portAudioClient == nullptr)
        return 0;
    const jack_nframes_t frames = jack_get_buffer_size(s.portAudioClient);
    return frames > 0 && frames <= 1u << 20 ? static_cast<int>(frames) : 0;
}

}  // namespace qv

// ---- the definitions PortAudio's JACK host reaches ----

extern "C" {

jack_client_t* jack_client_open(const char* name, jack_options_t options, jack_status_t* status, ...) {
    const qv::ClientOpenFn real = qv::realClientOpen();
    if (real == nullptr) {
        if (status != nullptr)
            *status = static_cast<jack_status_t>(JackFailure);
        return nullptr;
    }
    // The optional arguments, in the order libjack reads them.
    const char* extra[4] = {nullptr, nullptr, nullptr, nullptr};
    va_list args;
    va_start(args, status);
    int n = 0;
    for (const int option : {JackServerName, JackLoadName, JackLoadInit, JackSessionID})
        if ((options & option) != 0)
            extra[n++] = va_arg(args, const char*);
    va_end(args);
    jack_client_t* client = real(name, options, status, extra[0], extra[1], extra[2], extra[3]);
    if (client != nullptr && qv::tInitialising > 0) {
        qv::Shared& s = qv::shared();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.portAudioClient = client;
    }
    return client;
}

int jack_client_close(jack_client_t* client) {
    {
        qv::Shared& s = qv::shared();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (client != nullptr && client == s.portAudioClient)
            s.portAudioClient = nullptr;
    }
    const qv::ClientCloseFn real = qv::realClientClose();
    return real != nullptr ? real(client) : -1;
}

jack_port_t* jack_port_register(jack_client_t* client, const char* name, const char* type, unsigned long flags,
                                unsigned long bufferSize) {
    const qv::PortRegisterFn real = qv::realPortRegister();
    if (real == nullptr)
        return nullptr;
    if (qv::tOpenDevice >= 0 && (flags & JackPortIsOutput) != 0) {
        const size_t k = qv::tNextPort++;
        std::string wanted;
        {
            qv::Shared& s = qv::shared();
            std::lock_guard<std::mutex> lock(s.mutex);
            const auto found = s.names.find(qv::tOpenDevice);
            if (found != s.names.end() && k < found->second.size())
                wanted = found->second[k];
        }
        if (!wanted.empty()) {
            if (jack_port_t* port = real(client, wanted.c_str(), type, flags, bufferSize))
                return port;
            // Refused (taken, too long): PortAudio's own name.
        }
    }
    return real(client, name, type, flags, bufferSize);
}

}  // extern "C"
