#pragma once
// What PortAudio's JACK host does not let a program choose: the names of the
// output ports it registers ("out_0", "out_1", ...) and the JACK server's
// buffer size. This layer stands between PortAudio and libjack in our
// processes (it defines jack_client_open, jack_client_close and
// jack_port_register, which the dynamic linker then resolves for
// libportaudio before libjack's, and calls libjack's own): while PortAudio
// initialises (JackInitialiseScope) it notes the client PortAudio opens;
// while PortAudio opens a stream (JackOpenScope) the output ports it
// registers get the names set for that device, in order. Everything else
// goes to libjack unchanged, for any client.
//
// Threads: the scopes are per thread (PortAudio registers its ports and
// opens its client on the thread that called it); the names and the noted
// client are shared under a mutex. Nothing here runs in an audio callback.

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

}  // namespace qv
