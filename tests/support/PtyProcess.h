#pragma once
// Runs a program on a pseudo-terminal of its own, as a user starts it in a
// terminal window: its standard input, output and error are the terminal,
// so it draws its console and reads typed keys. The test types with type()
// and reads everything the program wrote (escape sequences included).

#include <string>
#include <utility>
#include <vector>

namespace qv::test {

class PtyProcess {
public:
    PtyProcess() = default;
    ~PtyProcess();  // kills the program if it still runs
    PtyProcess(const PtyProcess&) = delete;
    PtyProcess& operator=(const PtyProcess&) = delete;

    // Starts argv[0] (a path) with the test's environment plus env; false
    // when the terminal or the process could not be made.
    bool start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env);

    // Writes text as if typed.
    bool type(const std::string& text);
    // Reads what the program wrote until `done` holds for the text so far
    // or timeoutMs passed; returns done's last result.
    template <typename Done>
    bool readUntil(Done done, int timeoutMs) {
        const long long deadline = nowMs() + timeoutMs;
        while (!done(m_output) && nowMs() < deadline && readSome(100)) {
        }
        return done(m_output);
    }
    bool waitForOutput(const std::string& text, int timeoutMs) {
        return readUntil([&](const std::string& out) { return out.find(text) != std::string::npos; }, timeoutMs);
    }
    const std::string& output() const { return m_output; }
    // The last count characters of the output (for failure messages).
    std::string tail(size_t count = 3000) const;

    void signal(int sig);
    // Waits up to timeoutMs (reading the terminal meanwhile so the program
    // never blocks on it); true when it exited, exitCode() then holds the
    // code or 128 + signal.
    bool wait(int timeoutMs);
    int exitCode() const { return m_exitCode; }

private:
    // Reads for up to waitMs; false once the terminal is closed.
    bool readSome(int waitMs);
    static long long nowMs();

    int m_master = -1;
    int m_pid = -1;
    int m_exitCode = -1;
    std::string m_output;
};

}  // namespace qv::test
