#include "platform/MessageChannel.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qv {

MessageChannel::~MessageChannel() { close(); }

bool MessageChannel::createPair(MessageChannel& other) {
    close();
    other.close();
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        m_error = std::string("socketpair: ") + std::strerror(errno);
        return false;
    }
    m_fd = fds[0];
    other.m_fd = fds[1];
    return true;
}

bool MessageChannel::send(const void* data, size_t size) {
    if (m_fd < 0)
        return false;
    for (;;) {
        const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(size))
            return true;
        if (sent < 0 && errno == EINTR)
            continue;
        m_error = std::string("send: ") + (sent < 0 ? std::strerror(errno) : "message cut");
        return false;
    }
}

ReceiveStatus MessageChannel::receive(void* data, size_t capacity, size_t& size, int timeoutMs) {
    size = 0;
    if (m_fd < 0)
        return ReceiveStatus::Closed;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return ReceiveStatus::Closed;
        if (ready == 0)
            return ReceiveStatus::TimedOut;
        const ssize_t got = ::recv(m_fd, data, capacity, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)  // 0: the peer closed its end (a packet is never empty here)
            return ReceiveStatus::Closed;
        size = static_cast<size_t>(got);
        return ReceiveStatus::Message;
    }
}

void MessageChannel::waitUntilPeerGone() const {
    if (m_fd < 0)
        return;
    for (;;) {
        pollfd p{m_fd, POLLRDHUP, 0};
        const int ready = ::poll(&p, 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0)
            return;
    }
}

void MessageChannel::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

}  // namespace qv
