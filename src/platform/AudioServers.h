#pragma once
// Which JACK the audio host should use. Debian installs jackd2's libjack as
// the system's JACK library; PipeWire's own libjack (package pipewire-jack)
// lives in a folder of its own that `pw-jack` puts first in LD_LIBRARY_PATH.
// When no JACK server answers but a PipeWire server runs, the audio host is
// started with that folder first, so the JACK devices are PipeWire's sinks;
// where a JACK server runs it is used as always.
//
// Every probe is a non-blocking connect to a Unix socket: it answers at
// once, also for a server that is stopped or hung (the kernel queues the
// connection), so a start-up never waits on an audio server here.

#include <string>

namespace qv {

struct JackRoute {
    enum class Kind { JackServer, PipeWire, None };
    Kind kind = Kind::None;
    std::string libraryDir;  // for PipeWire: the folder to put first in LD_LIBRARY_PATH
    std::string description; // for the device table's heading, e.g. "JACK through PipeWire, no JACK server running"
};

// Where the folders and sockets are; the defaults read the environment.
struct AudioServerPlaces {
    std::string jackSocket;      // the JACK server's request socket
    std::string pipeWireSocket;  // the PipeWire server's socket
    std::string pipeWireJackDir; // the folder of PipeWire's libjack.so.0
};

// $JACK_DEFAULT_SERVER (else "default") under /dev/shm as jackd2 names its
// socket ($JACK_PROMISCUOUS_SERVER: without the user id), PipeWire's
// $PIPEWIRE_REMOTE (else "pipewire-0") in $XDG_RUNTIME_DIR, and the folder
// Debian's pipewire-jack installs.
AudioServerPlaces defaultAudioServerPlaces();

// True when something listens on the Unix socket at `path`.
bool unixSocketAnswers(const std::string& path);

JackRoute chooseJackRoute(const AudioServerPlaces& places);
inline JackRoute chooseJackRoute() { return chooseJackRoute(defaultAudioServerPlaces()); }

// `dir` put first in a LD_LIBRARY_PATH value (`current` may be empty).
std::string prependLibraryPath(const std::string& dir, const std::string& current);

}  // namespace qv
