#include "platform/Output.h"

#include "platform/TextFormat.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qv {
namespace {

struct Chunk {
    OutputStream stream;
    std::string text;
};

class OutputQueue {
public:
    void push(OutputStream stream, std::string_view text, bool drawing = false) {
        if (text.empty())
            return;
        std::unique_lock<std::mutex> lock(m_mutex);
        std::string placed;
        if (!drawing && m_areaLast >= m_areaFirst && m_areaStreams[stream == OutputStream::StandardError ? 1 : 0]) {
            placed = messageAreaText(text, m_areaLast);
            text = placed;
        }
        if (m_sink) {
            m_sink(stream, text);
            return;
        }
        if (m_queuedBytes + text.size() > kOutputQueueLimit) {
            m_dropped += text.size();
            return;
        }
        if (!m_started) {
            m_started = true;
            std::thread([this] { run(); }).detach();
        }
        if (!m_chunks.empty() && m_chunks.back().stream == stream && m_chunks.back().text.size() < 4096)
            m_chunks.back().text.append(text);
        else
            m_chunks.push_back({stream, std::string(text)});
        m_queuedBytes += text.size();
        m_wake.notify_one();
    }

    bool flush(int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_drained.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_chunks.empty() && !m_writing; });
    }

    uint64_t dropped() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dropped;
    }

    void setSink(OutputCapture::Sink sink) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sink = std::move(sink);
    }

    void setArea(int first, int last, bool out, bool err) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_areaFirst = first;
        m_areaLast = last;
        m_areaStreams[0] = out;
        m_areaStreams[1] = err;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_chunks.empty(); });
            Chunk chunk = std::move(m_chunks.front());
            m_chunks.pop_front();
            m_writing = true;
            lock.unlock();
            writeAll(chunk.stream == OutputStream::StandardOutput ? STDOUT_FILENO : STDERR_FILENO, chunk.text);
            lock.lock();
            m_writing = false;
            m_queuedBytes -= chunk.text.size();
            if (m_chunks.empty())
                m_drained.notify_all();
        }
    }

    static void writeAll(int fd, const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;  // a closed stream drops the text
            done += static_cast<size_t>(n);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<Chunk> m_chunks;
    size_t m_queuedBytes = 0;
    uint64_t m_dropped = 0;
    bool m_started = false;
    bool m_writing = false;
    OutputCapture::Sink m_sink;
    // The message area (off while first > last) and the streams it takes.
    int m_areaFirst = 1, m_areaLast = 0;
    bool m_areaStreams[2] = {false, false};
};

// Never destroyed: detached threads may still write while the process exits.
OutputQueue& queue() {
    static OutputQueue* instance = new OutputQueue;
    return *instance;
}

void vprintTo(OutputStream stream, const char* format, va_list args) {
    const FormattedText text(format, args);
    queue().push(stream, text.view());
}

}  // namespace

void outWrite(std::string_view text) { queue().push(OutputStream::StandardOutput, text); }
void outWriteDrawing(std::string_view text) { queue().push(OutputStream::StandardOutput, text, true); }

void setTerminalMessageArea(int firstRow, int lastRow, bool standardOutput, bool standardError) {
    queue().setArea(firstRow, lastRow, standardOutput, standardError);
}

std::string messageAreaText(std::string_view text, int lastRow) {
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    // Save the cursor and colours, then a new line at the bottom of the area.
    std::string out = "\x1b" "7\x1b[" + std::to_string(lastRow + 1) + ";1H\n\r\x1b[0m";
    out.append(text);
    out += "\x1b" "8";
    return out;
}
void errWrite(std::string_view text) { queue().push(OutputStream::StandardError, text); }

void outPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintTo(OutputStream::StandardOutput, format, args);
    va_end(args);
}

void errPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintTo(OutputStream::StandardError, format, args);
    va_end(args);
}

bool outputFlush(int timeoutMs) { return queue().flush(timeoutMs); }
uint64_t outputDroppedBytes() { return queue().dropped(); }
bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int terminalRowCount() {
    struct winsize size {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_row;
}

OutputCapture::OutputCapture(Sink sink) { queue().setSink(std::move(sink)); }
OutputCapture::~OutputCapture() { queue().setSink(nullptr); }

}  // namespace qv
