#pragma once
// Runs a program as a separate process for end-to-end tests: its standard
// output and error go to files the test can read while it runs; extra
// environment variables are added to the test's own environment.

#include <string>
#include <utility>
#include <vector>

namespace qv::test {

// The full path of a program found in PATH, or "" when there is none.
std::string findProgram(const std::string& name);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // kills the process if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv[0]` with the arguments; output goes to outputPath (stdout)
    // and outputPath + ".err" (stderr). False when it could not be started.
    bool start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
               const std::string& outputPath);

    void signal(int sig);
    // Waits up to timeoutMs; true when it exited (exitCode() then holds the
    // code, or 128 + signal).
    bool wait(int timeoutMs);
    bool isRunning();
    int exitCode() const { return m_exitCode; }
    int pid() const { return m_pid; }

    std::string output() const;
    std::string errors() const;
    // Polls the output until it contains `text` (or the time is up).
    bool waitForOutput(const std::string& text, int timeoutMs) const;

private:
    int m_pid = -1;
    int m_exitCode = -1;
    std::string m_outputPath;
};

}  // namespace qv::test
