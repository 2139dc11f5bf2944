#include "platform/JackClientHooks.h"

#include <jack/jack.h>
#include <jack/session.h>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <linux/futex.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

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
// lock, no allocation). While a thread waits for a change
// (waitForJackGraphChange), a change also wakes it: one futex wake-up, a
// system call that neither blocks nor allocates; graph changes come seldom,
// never once a period.
std::atomic<uint32_t> gGraphChanges{0};
std::atomic<uint32_t> gGraphWaiters{0};

long futexCall(std::atomic<uint32_t>& word, int operation, uint32_t value, const timespec* timeout) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);
    return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), operation, value, timeout, nullptr, 0);
}

// Sequentially consistent on both sides: either the waiter's count is seen
// here, or the waiter sees the new change count and does not sleep.
void noteGraphChange() {
    gGraphChanges.fetch_add(1);
    if (gGraphWaiters.load() != 0)
        futexCall(gGraphChanges, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
}

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

uint32_t waitForJackGraphChange(uint32_t seen, int timeoutMs) {
    gGraphWaiters.fetch_add(1);
    if (gGraphChanges.load() == seen && timeoutMs > 0) {
        const timespec timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        // Returns at once when the count moved on since the load.
        futexCall(gGraphChanges, FUTEX_WAIT_PRIVATE, seen, &timeout);
    }
    gGraphWaiters.fetch_sub(1);
    return gGraphChanges.load(std::memory_order_acquire);
}

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

namespace {

// Whether a client older than `client` holds the name `client` got: JACK
// finds the first client of a name in the order they came, so another
// client's identifier means another client holds it. A server that does not
// say (no identifiers) is taken as naming clients uniquely.
bool isNameHeldByAnother(jack_client_t* client) {
    const char* actual = jack_get_client_name(client);
    if (actual == nullptr)
        return false;
    char* found = jack_get_uuid_for_client_name(client, actual);
    char* own = jack_client_get_uuid(client);
    const bool another = found != nullptr && own != nullptr && std::strcmp(found, own) != 0;
    if (found != nullptr)
        jack_free(found);
    if (own != nullptr)
        jack_free(own);
    return another;
}

}  // namespace

// jackd gives a second client of a name a suffix by itself ("Quor Vane-01");
// PipeWire's JACK library lets both have the name, so two instances' ports
// would be told apart by nothing. While another client holds the name
// PortAudio's client got, it is opened again under the next free suffix, as
// jackd numbers them. A re-open that fails keeps nothing open: PortAudio
// then reports the failure as for any open.
template <typename Reopen>
jack_client_t* openUnderFreeName(jack_client_t* client, const char* base, Reopen reopen) {
    constexpr int kMaxSuffix = 99;
    for (int suffix = 1; client != nullptr && suffix <= kMaxSuffix && isNameHeldByAnother(client); ++suffix) {
        // JACK limits client names to 63 bytes; the suffix takes three.
        const std::string next =
            std::string(base).substr(0, 60) + (suffix < 10 ? "-0" : "-") + std::to_string(suffix);
        const ClientCloseFn close = realClientClose();
        if (close != nullptr)
            close(client);
        client = reopen(next.c_str());
    }
    return client;
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
    if (client != nullptr && qv::tInitialising > 0 && name != nullptr && (options & JackUseExactName) == 0)
        client = qv::openUnderFreeName(client, name, [&](const char* next) {
            return real(next, options, status, extra[0], extra[1], extra[2], extra[3]);
        });
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
