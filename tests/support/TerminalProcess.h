#pragma once
// Runs a program on a pseudo-terminal of its own, as a user's terminal would,
// and keeps what it draws: the raw output and a screen rebuilt from the
// cursor, colour and clear sequences the program's console sends. End-to-end
// tests check the dashboard by position and colour on that screen.

#include "platform/Console.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

class TerminalProcess {
public:
    TerminalProcess() = default;
    ~TerminalProcess();  // kills the process if it still runs
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    // Starts argv[0] on a new pseudo-terminal with the test's environment plus
    // `env` and TERM=xterm. False when it could not be started.
    bool start(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env);

    // Reads the terminal until `done` holds or timeoutMs have passed; true
    // when it holds.
    bool readUntil(const std::function<bool()>& done, int timeoutMs);

    void signal(int sig);
    // Reads on while waiting up to timeoutMs for the exit; true when it exited.
    bool wait(int timeoutMs);
    int exitCode() const { return m_exitCode; }

    const std::string& raw() const { return m_raw; }
    const ConsoleScreen& screen() const { return m_screen; }
    // The characters of a screen row from `column`, `length` long.
    std::string textAt(int column, int row, size_t length) const;
    // True when the raw output holds `text`.
    bool printed(const std::string& text) const { return m_raw.find(text) != std::string::npos; }

private:
    void readAvailable(int pollMs);
    void interpret(const char* bytes, size_t n);
    void applySequence(char final, const std::string& params);

    int m_master = -1;
    int m_pid = -1;
    int m_exitCode = -1;
    std::string m_raw;
    ConsoleScreen m_screen;
    // Parser state: 0 text, 1 after ESC, 2 inside a control sequence.
    int m_state = 0;
    std::string m_params;
};

}  // namespace qv::test
