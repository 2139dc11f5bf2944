#pragma once
// One end of a private message channel between the program and a helper
// process of ours (a Unix socket pair of sequenced packets): every send()
// arrives whole as one receive(), and a closed or dead peer is noticed.
//
// Threads: one sender and one receiver at a time; waitUntilPeerGone() may
// run on a thread of its own beside them.

#include <cstddef>
#include <string>

namespace qv {

enum class ReceiveStatus { Message, TimedOut, Closed };

class MessageChannel {
public:
    MessageChannel() = default;
    explicit MessageChannel(int fd) : m_fd(fd) {}
    ~MessageChannel();
    MessageChannel(const MessageChannel&) = delete;
    MessageChannel& operator=(const MessageChannel&) = delete;

    // A connected pair: this end stays here, `other` is for the helper
    // (close-on-exec; the spawn passes its fd()). False with lastError().
    bool createPair(MessageChannel& other);
    int fd() const { return m_fd; }

    bool isOpen() const { return m_fd >= 0; }
    // False when the peer is gone or the message is too long.
    bool send(const void* data, size_t size);
    // One message of at most `capacity` bytes into `data` (a longer one is
    // cut); `size` gets its length. Waits up to timeoutMs (< 0: for ever).
    ReceiveStatus receive(void* data, size_t capacity, size_t& size, int timeoutMs);
    // Returns when the peer has closed its end or died.
    void waitUntilPeerGone() const;
    void close();

    const std::string& lastError() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

}  // namespace qv
