#pragma once
// What PortAudio's JACK host does not let a program choose: the names of the
// output ports it registers ("out_0", "out_1", ...) and the JACK server's
// buffer size and what happens in its graph. This layer stands between
// PortAudio and libjack in our processes (it defines jack_client_open,
// jack_client_close, jack_activate, jack_port_register, jack_port_disconnect
// and jack_port_unregister, which the dynamic linker then resolves for
// libportaudio before libjack's, and calls libjack's own): while PortAudio
// initialises (JackInitialiseScope) it notes the client PortAudio opens and
// sets the callbacks below on it before it is activated; while PortAudio
// opens a stream (JackOpenScope) the output ports it registers get the names
// set for that device, in order, and are noted per device. Everything else
// goes to libjack unchanged, for any client.
//
// The graph is watched through PortAudio's own client, so nothing more shows
// in a patchbay: its buffer-size, port-registration, port-connect and
// client-registration callbacks (jackd and PipeWire's JACK library give all
// four) only count changes in an atomic on JACK's thread (jackGraphChanges);
// a thread of the caller's then asks for the figures (jackServerBufferFrames,
// isJackDeviceLost).
//
// Threads: the scopes are per thread (PortAudio registers its ports and
// opens its client on the thread that called it); the names, the noted
// client and its ports are shared under a mutex. Nothing here runs in an
// audio callback; the JACK callbacks take no lock.

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// The JACK client name PortAudio asks for (PaJack_SetClientName).
inline constexpr const char* kJackClientName = "Quor Vane";

// While alive, a JACK client opened on this thread is PortAudio's.
class JackInitialiseScope {
public:
    JackInitialiseScope();
    ~JackInitialiseScope();
    JackInitialiseScope(const JackInitialiseScope&) = delete;
    JackInitialiseScope& operator=(const JackInitialiseScope&) = delete;
};

// While alive, the output ports registered on this thread are those of a
// stream on PortAudio device `device`: the k-th gets that device's k-th
// name (see setJackPortNames), else PortAudio's own name.
class JackOpenScope {
public:
    explicit JackOpenScope(int device);
    ~JackOpenScope();
    JackOpenScope(const JackOpenScope&) = delete;
    JackOpenScope& operator=(const JackOpenScope&) = delete;
};

// The port names for streams on PortAudio device `device`, by channel;
// replaces what was set for it. clearJackPortNames forgets all.
void setJackPortNames(int device, std::vector<std::string> names);
void clearJackPortNames();

// The buffer size of the server PortAudio's JACK client is connected to;
// 0 when PortAudio has no JACK client.
int jackServerBufferFrames();
// Its sample rate in Hz; 0 when PortAudio has no JACK client.
double jackServerSampleRate();

// Counts the graph changes PortAudio's client was told of (buffer size,
// ports and clients coming and going, connections); any thread.
uint32_t jackGraphChanges();
// Sleeps until the count differs from `seen` or timeoutMs passed (a signal
// may end it sooner); returns the count. Any thread but JACK's.
uint32_t waitForJackGraphChange(uint32_t seen, int timeoutMs);

// True when an output port of a stream on PortAudio device `device` was
// connected and is connected to nothing now: the device it played to went
// away (its client closed, its ports or the PipeWire node removed). Its
// connections are noted by each call, so call it after every change
// (jackGraphChanges) and now and then. Not in an audio callback.
bool isJackDeviceLost(int device);

}  // namespace qv
