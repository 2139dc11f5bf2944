#pragma once
// The standard output and error of a child process of ours, passed on line
// by line to our own (outWrite/errWrite, Output.h): a pipe for each, read by
// a thread of its own, so the child's lines get the same treatment as ours
// (order, the dashboard's message area) and never land in drawn rows.
//
// The child's bytes are untrusted: a line is cut at kMaxLineBytes and made
// printable (PrintableText.h). The thread reads continuously, so the child
// waits on a full pipe only as long as our output queue takes a line (never
// blocks). It ends when both pipes reach their end (the child ended or was
// killed) or at stop(); a partial last line is passed on with a line feed.
//
// Threads: open, close the write ends, passOnPending and stop on one thread.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

namespace qv {

class ChildOutputReader {
public:
    static constexpr size_t kMaxLineBytes = 4096;

    ChildOutputReader() = default;
    ~ChildOutputReader() { stop(); }
    ChildOutputReader(const ChildOutputReader&) = delete;
    ChildOutputReader& operator=(const ChildOutputReader&) = delete;

    // Makes both pipes (close-on-exec) and starts the reader. False, with
    // lastError(), when it cannot.
    bool open();
    // The ends the child gets as its standard output and error; -1 when not open.
    int outputWriteEnd() const { return m_writeEnd[0]; }
    int errorWriteEnd() const { return m_writeEnd[1]; }
    // After the child was started: only the child holds the write ends, so
    // its end is the pipes' end.
    void closeWriteEnds();
    // Waits up to timeoutMs until everything that is in the pipes now was
    // passed on (a partial line stays until its end comes).
    void passOnPending(int timeoutMs);
    // Reads what is left in the pipes, passes on the partial lines, ends the
    // thread and closes every descriptor. Safe when not open.
    void stop();
    const std::string& lastError() const { return m_error; }

private:
    void run();
    // Reads once from stream i (0 output, 1 error); false at its end.
    bool readOnce(int i);
    void passOn(int i, std::string_view line);
    void flushPartial(int i);

    int m_readEnd[2] = {-1, -1};
    int m_writeEnd[2] = {-1, -1};
    int m_wakeFd = -1;  // eventfd: stop() wakes the reader's poll
    std::string m_partial[2];
    std::mutex m_passMutex;  // held while read bytes are on their way to the output
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::string m_error;
};

}  // namespace qv
