#include "platform/InstanceLock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qv {

namespace {

constexpr char kBringToFront[] = "front\n";

uint64_t fnv1a(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

socklen_t fillAddress(sockaddr_un& address, const std::string& name) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const size_t n = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), n);  // sun_path[0] == 0: abstract
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// One spelling per folder: "/a/b", "/a/b/", "/a/./b", "/a//b", "/a/c/../b"
// and links to it must give one key, or a second instance starts on the same
// settings. An existing folder is resolved by the system; a missing one is
// normalised by its text.
std::string canonicalFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    if (!folder.empty() && ::realpath(folder.c_str(), resolved) != nullptr)
        return resolved;
    std::string normal = std::filesystem::path(folder).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

}  // namespace

std::string InstanceLock::socketName(const std::string& name, const std::string& folder) {
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(canonicalFolder(folder))));
    return name + "." + std::to_string(::getuid()) + "." + hash;
}

InstanceLock::~InstanceLock() { release(); }

InstanceLock::Result InstanceLock::acquire(const std::string& name, const std::string& folder) {
    release();
    sockaddr_un address{};
    const socklen_t length = fillAddress(address, socketName(name, folder));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = std::string("socket: ") + std::strerror(errno);
        return Result::Failed;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int bindErrno = errno;
        ::close(fd);
        if (bindErrno != EADDRINUSE) {
            m_error = std::string("bind ") + name + ": " + std::strerror(bindErrno);
            return Result::Failed;
        }
        // Someone holds it: ask them to come to the front.
        const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client >= 0) {
            if (::connect(client, reinterpret_cast<sockaddr*>(&address), length) == 0)
                (void)!::send(client, kBringToFront, sizeof kBringToFront - 1, MSG_NOSIGNAL);
            ::close(client);
        }
        return Result::AlreadyRunning;
    }
    if (::listen(fd, 4) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        m_error = std::string("listen ") + name + ": " + std::strerror(errno);
        ::close(fd);
        return Result::Failed;
    }
    m_fd = fd;
    m_thread = std::thread([this] { serve(); });
    return Result::Acquired;
}

void InstanceLock::serve() {
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // The request is read with a short time-out so a silent peer cannot hold us.
        pollfd clientPoll{client, POLLIN, 0};
        char buffer[16] = {};
        if (::poll(&clientPoll, 1, 500) > 0 && ::recv(client, buffer, sizeof buffer - 1, 0) > 0 &&
            std::strncmp(buffer, kBringToFront, sizeof kBringToFront - 1) == 0 && m_handler)
            m_handler();
        ::close(client);
    }
}

void InstanceLock::release() {
    if (m_fd < 0)
        return;
    (void)!::write(m_wakePipe[1], "x", 1);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_fd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
    m_fd = -1;
    m_wakePipe[0] = m_wakePipe[1] = -1;
}

}  // namespace qv
