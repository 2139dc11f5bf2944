#include "platform/JackClientHooks.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdarg>
#include <dlfcn.h>
#include <map>
#include <mutex>

namespace qv {
namespace {

using ClientOpenFn = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
using ClientCloseFn = int (*)(jack_client_t*);
using PortRegisterFn = jack_port_t* (*)(jack_client_t*, const char*, const char*, unsigned long, unsigned long);
using PortUnregisterFn = int (*)(jack_client_t*, jack_port_t*);
using ActivateFn = int (*)(jack_client_t*);
using PortDisconnectFn = int (*)(jack_client_t*, jack_port_t*);

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

PortUnregisterFn realPortUnregister() {
    static const PortUnregisterFn fn = nextDefinition<PortUnregisterFn>("jack_port_unregister");
    return fn;
}

PortDisconnectFn realPortDisconnect() {
    static const PortDisconnectFn fn = nextDefinition<PortDisconnectFn>("jack_port_disconnect");
    return fn;
}

ActivateFn realActivate() {
    static const ActivateFn fn = nextDefinition<ActivateFn>("jack_activate");
    return fn;
}

// An output port PortAudio registered for a stream, and whether it has been
// connected since.
struct StreamPort {
    int device = -1;
    jack_port_t* port = nullptr;
    bool wasConnected = false;
    bool released = false;  // PortAudio disconnected it (a stream stopping): never lost
};

struct Shared {
    std::mutex mutex;
    jack_client_t* portAudioClient = nullptr;
    std::map<int, std::vector<std::string>> names;
    std::vector<StreamPort> ports;
};

Shared& shared() {
    // Never destroyed: PortAudio may close its client from a thread that
    // outlives main.
    static Shared* instance = new Shared();
    return *instance;
}

// Raised by the JACK callbacks of PortAudio's client (JACK's thread: no
// lock, no allocation).
std::atomic<uint32_t> gGraphChanges{0};

void noteGraphChange() { gGraphChanges.fetch_add(1, std::memory_order_release); }

int onBufferSize(jack_nframes_t, void*) {
    noteGraphChange();
    return 0;
}
void onPortRegistration(jack_port_id_t, int, void*) { noteGraphChange(); }
void onPortConnect(jack_port_id_t, jack_port_id_t, int, void*) { noteGraphChange(); }
void onClientRegistration(const char*, int, void*) { noteGraphChange(); }

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

double jackServerSampleRate() {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.portAudioClient == nullptr)
        return 0.0;
    const jack_nframes_t rate = jack_get_sample_rate(s.portAudioClient);
    return rate > 0 && rate <= 1000000u ? static_cast<double>(rate) : 0.0;
}

uint32_t jackGraphChanges() { return gGraphChanges.load(std::memory_order_acquire); }

bool isJackDeviceLost(int device) {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool lost = false;
    for (StreamPort& p : s.ports) {
        if (p.device != device || p.released)
            continue;
        // Ports leave this list before PortAudio unregisters them, so the
        // handle is valid here.
        if (jack_port_connected(p.port) > 0)
            p.wasConnected = true;
        else if (p.wasConnected)
            lost = true;
    }
    return lost;
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
        if (client != nullptr && client == s.portAudioClient) {
            s.portAudioClient = nullptr;
            s.ports.clear();
        }
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
        jack_port_t* port = nullptr;
        if (!wanted.empty())
            port = real(client, wanted.c_str(), type, flags, bufferSize);
        // Refused (taken, too long): PortAudio's own name.
        if (port == nullptr)
            port = real(client, name, type, flags, bufferSize);
        if (port != nullptr) {
            qv::Shared& s = qv::shared();
            std::lock_guard<std::mutex> lock(s.mutex);
            s.ports.push_back({qv::tOpenDevice, port, false});
        }
        return port;
    }
    return real(client, name, type, flags, bufferSize);
}

int jack_port_unregister(jack_client_t* client, jack_port_t* port) {
    {
        qv::Shared& s = qv::shared();
        std::lock_guard<std::mutex> lock(s.mutex);
        std::erase_if(s.ports, [port](const qv::StreamPort& p) { return p.port == port; });
    }
    const qv::PortUnregisterFn real = qv::realPortUnregister();
    return real != nullptr ? real(client, port) : -1;
}

int jack_port_disconnect(jack_client_t* client, jack_port_t* port) {
    {
        qv::Shared& s = qv::shared();
        std::lock_guard<std::mutex> lock(s.mutex);
        for (qv::StreamPort& p : s.ports)
            if (p.port == port)
                p.released = true;
    }
    const qv::PortDisconnectFn real = qv::realPortDisconnect();
    return real != nullptr ? real(client, port) : -1;
}

int jack_activate(jack_client_t* client) {
    bool portAudios = false;
    {
        qv::Shared& s = qv::shared();
        std::lock_guard<std::mutex> lock(s.mutex);
        portAudios = client != nullptr && client == s.portAudioClient;
    }
    // JACK takes callbacks only before the client is activated. PortAudio
    // sets none of these itself.
    if (portAudios) {
        jack_set_buffer_size_callback(client, qv::onBufferSize, nullptr);
        jack_set_port_registration_callback(client, qv::onPortRegistration, nullptr);
        jack_set_port_connect_callback(client, qv::onPortConnect, nullptr);
        jack_set_client_registration_callback(client, qv::onClientRegistration, nullptr);
    }
    const qv::ActivateFn real = qv::realActivate();
    return real != nullptr ? real(client) : -1;
}

}  // extern "C"
