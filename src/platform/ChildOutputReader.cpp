#include "platform/ChildOutputReader.h"

#include "platform/Output.h"
#include "platform/PrintableText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qv {
namespace {

// What stop() reads at most from each pipe: what a child that ended left
// behind, bounded even when something else still writes into it.
constexpr size_t kFinalReadBytes = 256 * 1024;

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

bool ChildOutputReader::open() {
    stop();
    for (int i = 0; i < 2; ++i) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            m_error = std::string("pipe2: ") + std::strerror(errno);
            stop();
            return false;
        }
        m_readEnd[i] = fds[0];
        m_writeEnd[i] = fds[1];
        // Only our end: the child writes as to any pipe.
        ::fcntl(m_readEnd[i], F_SETFL, ::fcntl(m_readEnd[i], F_GETFL) | O_NONBLOCK);
    }
    // stop() wakes the reader through this; otherwise it sleeps until the
    // child writes.
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        m_error = std::string("eventfd: ") + std::strerror(errno);
        stop();
        return false;
    }
    m_stop = false;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        m_error = std::string("cannot start the output reader: ") + e.what();
        stop();
        return false;
    }
    return true;
}

void ChildOutputReader::closeWriteEnds() {
    closeFd(m_writeEnd[0]);
    closeFd(m_writeEnd[1]);
}

void ChildOutputReader::passOnPending(int timeoutMs) {
    if (!m_thread.joinable())
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            // The reader holds the mutex from its read until the lines are
            // queued: with the pipes empty under it, all is passed on.
            std::lock_guard<std::mutex> lock(m_passMutex);
            int waiting = 0;
            for (int fd : m_readEnd) {
                int n = 0;
                if (fd >= 0 && ::ioctl(fd, FIONREAD, &n) == 0)
                    waiting += n;
            }
            if (waiting == 0)
                return;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ChildOutputReader::stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    closeFd(m_wakeFd);
    for (int i = 0; i < 2; ++i) {
        closeFd(m_readEnd[i]);
        closeFd(m_writeEnd[i]);
        m_partial[i].clear();
    }
}

void ChildOutputReader::passOn(int i, std::string_view line) {
    std::string text = printableText(line) + "\n";
    if (i == 0)
        outWrite(text);
    else
        errWrite(text);
}

void ChildOutputReader::flushPartial(int i) {
    if (!m_partial[i].empty())
        passOn(i, m_partial[i]);
    m_partial[i].clear();
}

bool ChildOutputReader::readOnce(int i) {
    char buffer[4096];
    const ssize_t n = ::read(m_readEnd[i], buffer, sizeof buffer);
    if (n == 0)
        return false;
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    std::string_view rest(buffer, static_cast<size_t>(n));
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const size_t room = kMaxLineBytes - m_partial[i].size();
        if (end != std::string_view::npos && end <= room) {
            m_partial[i].append(rest.substr(0, end));
            rest.remove_prefix(end + 1);
            flushPartial(i);
        } else if (rest.size() < room) {
            m_partial[i].append(rest);
            rest = {};
        } else {
            // Too long for a line: it is cut.
            m_partial[i].append(rest.substr(0, room));
            rest.remove_prefix(room);
            flushPartial(i);
        }
    }
    return true;
}

void ChildOutputReader::run() {
    bool open[2] = {true, true};
    while ((open[0] || open[1]) && !m_stop.load()) {
        pollfd fds[3];
        nfds_t count = 0;
        int stream[3];
        for (int i = 0; i < 2; ++i) {
            if (!open[i])
                continue;
            fds[count] = {m_readEnd[i], POLLIN, 0};
            stream[count++] = i;
        }
        fds[count] = {m_wakeFd, POLLIN, 0};
        stream[count++] = -1;
        if (::poll(fds, count, -1) <= 0)
            continue;
        for (nfds_t k = 0; k < count; ++k) {
            if (stream[k] < 0)
                continue;  // stop(): m_stop is set
            if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            std::lock_guard<std::mutex> lock(m_passMutex);
            if (!readOnce(stream[k])) {
                open[stream[k]] = false;
                flushPartial(stream[k]);
            }
        }
    }
    // Stopped: what the child left in the pipes, then its partial lines.
    std::lock_guard<std::mutex> lock(m_passMutex);
    for (int i = 0; i < 2; ++i) {
        for (size_t read = 0; open[i] && read < kFinalReadBytes; read += 4096) {
            int waiting = 0;
            if (::ioctl(m_readEnd[i], FIONREAD, &waiting) != 0 || waiting == 0 || !readOnce(i))
                break;
        }
        flushPartial(i);
    }
}

}  // namespace qv
