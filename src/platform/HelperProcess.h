#pragma once
// A helper program of ours run as a child process: started with a few of
// our file descriptors as its descriptors 3, 4, ... (and no other of ours
// beyond standard input, output and error, which it may get in place of ours), killed when it hangs, and always
// reaped, so no zombie and no descriptor stays behind.
//
// Threads: start, stop and reap on one thread at a time; kill() may be
// called from any thread (it only sends the signal while the child has not
// been reaped).

#include <mutex>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace qv {

class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // argv[0] is the program's path. The child gets this process's
    // environment with `environment`'s names set to their values, and
    // `standardOutput`/`standardError` as its descriptors 1 and 2 when they
    // are not -1 (else it shares ours). False, with
    // lastError(), when it cannot be started (a missing program shows as a
    // start that exits at once).
    bool start(const std::vector<std::string>& argv, const std::vector<int>& passFds,
               const std::vector<std::pair<std::string, std::string>>& environment = {}, int standardOutput = -1,
               int standardError = -1);
    bool isStarted() const;
    // SIGKILL; the child is reaped by the next stop() or reap().
    void kill();
    // Waits up to graceMs for the child to end by itself, kills it when it
    // has not, and reaps it. Safe when nothing runs.
    void stop(int graceMs);
    // Reaps a child that has ended; true when none is left.
    bool reap();
    pid_t pid() const;
    const std::string& lastError() const { return m_error; }

private:
    mutable std::mutex m_mutex;  // guards m_pid against kill() from another thread
    pid_t m_pid = -1;
    std::string m_error;
};

}  // namespace qv
