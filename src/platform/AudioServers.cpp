#include "platform/AudioServers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#ifndef QV_PIPEWIRE_JACK_DIR
#define QV_PIPEWIRE_JACK_DIR "/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack"
#endif

namespace qv {
namespace {

std::string environmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

AudioServerPlaces defaultAudioServerPlaces() {
    AudioServerPlaces places;
    const std::string jackName = environmentOr("JACK_DEFAULT_SERVER", "default");
    // jackd2's request socket: /dev/shm/jack_<server>_<uid>_0, without the
    // user id for a server shared between users.
    if (std::getenv("JACK_PROMISCUOUS_SERVER") != nullptr)
        places.jackSocket = "/dev/shm/jack_" + jackName + "_0";
    else
        places.jackSocket = "/dev/shm/jack_" + jackName + "_" + std::to_string(::getuid()) + "_0";
    const std::string remote = environmentOr("PIPEWIRE_REMOTE", "pipewire-0");
    if (!remote.empty() && remote.front() == '/')
        places.pipeWireSocket = remote;
    else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/')
        places.pipeWireSocket = std::string(runtime) + "/" + remote;
    places.pipeWireJackDir = QV_PIPEWIRE_JACK_DIR;
    return places;
}

bool unixSocketAnswers(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A Unix socket connects or refuses at once; EAGAIN means a listener
    // whose queue is full, which is a server all the same.
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const bool answers = rc == 0 || errno == EAGAIN || errno == EINPROGRESS;
    ::close(fd);
    return answers;
}

JackRoute chooseJackRoute(const AudioServerPlaces& places) {
    JackRoute route;
    if (unixSocketAnswers(places.jackSocket)) {
        route.kind = JackRoute::Kind::JackServer;
        route.description = "JACK through the running JACK server";
        return route;
    }
    if (!unixSocketAnswers(places.pipeWireSocket)) {
        route.description = "no JACK or PipeWire server running";
        return route;
    }
    if (!isRegularFile(places.pipeWireJackDir + "/libjack.so.0")) {
        route.description = "no JACK server; PipeWire runs without its JACK library, package pipewire-jack";
        return route;
    }
    route.kind = JackRoute::Kind::PipeWire;
    route.libraryDir = places.pipeWireJackDir;
    route.description = "JACK through PipeWire, no JACK server running";
    return route;
}

std::string prependLibraryPath(const std::string& dir, const std::string& current) {
    if (current.empty())
        return dir;
    // Already first: nothing to add (a start through pw-jack).
    if (current == dir || current.rfind(dir + ":", 0) == 0)
        return current;
    return dir + ":" + current;
}

}  // namespace qv
