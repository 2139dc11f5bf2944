#include "support/TerminalProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace qv::test {

namespace {

// ANSI colour index (red 1, green 2, blue 4) to console bits (blue 1, green 2, red 4).
int consoleBits(int ansiIndex) { return ((ansiIndex & 1) << 2) | (ansiIndex & 2) | ((ansiIndex & 4) >> 2); }

}  // namespace

TerminalProcess::~TerminalProcess() {
    if (m_pid > 0 && m_exitCode < 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    if (m_master >= 0)
        ::close(m_master);
}

bool TerminalProcess::start(const std::vector<std::string>& argv,
                            const std::vector<std::pair<std::string, std::string>>& env) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    const char* slaveName = ::ptsname(m_master);
    if (!slaveName)
        return false;
    const std::string slavePath = slaveName;
    winsize size{};
    size.ws_col = kConsoleColumns;
    size.ws_row = kConsoleRows;
    ::ioctl(m_master, TIOCSWINSZ, &size);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool overridden = entry.rfind("TERM=", 0) == 0;
        for (const auto& [key, value] : env)
            overridden |= entry.rfind(key + "=", 0) == 0;
        if (!overridden)
            envStrings.push_back(entry);
    }
    for (const auto& [key, value] : env)
        envStrings.push_back(key + "=" + value);
    envStrings.emplace_back("TERM=xterm");
    std::vector<char*> envp, args;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& s : argCopy)
        args.push_back(s.data());
    args.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setsid();
        const int slave = ::open(slavePath.c_str(), O_RDWR);
        if (slave < 0)
            ::_exit(127);
        ::ioctl(slave, TIOCSCTTY, 0);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        if (slave > 2)
            ::close(slave);
        ::close(m_master);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    m_pid = pid;
    return true;
}

void TerminalProcess::readAvailable(int pollMs) {
    if (m_master < 0)
        return;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, pollMs) <= 0)
        return;
    char buffer[8192];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0) {
        m_raw.append(buffer, static_cast<size_t>(n));
        interpret(buffer, static_cast<size_t>(n));
    }
}

bool TerminalProcess::readUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        readAvailable(50);
    }
    return true;
}

void TerminalProcess::signal(int sig) {
    if (m_pid > 0 && m_exitCode < 0)
        ::kill(m_pid, sig);
}

bool TerminalProcess::wait(int timeoutMs) {
    if (m_pid <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_exitCode < 0) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        readAvailable(20);
    }
    // What the program wrote last is still in the terminal.
    for (int i = 0; i < 20; ++i)
        readAvailable(5);
    return true;
}

std::string TerminalProcess::textAt(int column, int row, size_t length) const {
    const std::string line = m_screen.rowText(row);
    if (static_cast<size_t>(column) >= line.size())
        return {};
    return line.substr(static_cast<size_t>(column), length);
}

void TerminalProcess::interpret(const char* bytes, size_t n) {
    std::string text;
    auto flush = [&] {
        if (!text.empty())
            m_screen.write(text);
        text.clear();
    };
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (m_state == 0) {
            if (c == '\x1b') {
                flush();
                m_state = 1;
            } else if (c == '\r') {
                flush();
                m_screen.setCursor(0, m_screen.cursorRow());
            } else {
                text.push_back(c);
            }
        } else if (m_state == 1) {
            m_state = c == '[' ? 2 : 0;
            m_params.clear();
        } else if ((c >= '0' && c <= '9') || c == ';' || c == '?') {
            m_params.push_back(c);
        } else {
            applySequence(c, m_params);
            m_state = 0;
        }
    }
    flush();
}

void TerminalProcess::applySequence(char final, const std::string& params) {
    std::vector<int> numbers;
    if (!params.empty() && params[0] != '?') {
        size_t pos = 0;
        while (pos <= params.size()) {
            const size_t end = params.find(';', pos);
            const std::string part = params.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            numbers.push_back(part.empty() ? 0 : std::atoi(part.c_str()));
            if (end == std::string::npos)
                break;
            pos = end + 1;
        }
    }
    if (final == 'H') {
        const int row = numbers.size() > 0 && numbers[0] > 0 ? numbers[0] - 1 : 0;
        const int column = numbers.size() > 1 && numbers[1] > 0 ? numbers[1] - 1 : 0;
        m_screen.setCursor(column, row);
    } else if (final == 'J') {
        m_screen.clear();
    } else if (final == 'm') {
        int fg = 7, bg = 0;
        for (int v : numbers) {
            if (v >= 30 && v <= 37)
                fg = consoleBits(v - 30);
            else if (v >= 90 && v <= 97)
                fg = 8 | consoleBits(v - 90);
            else if (v >= 40 && v <= 47)
                bg = consoleBits(v - 40);
            else if (v >= 100 && v <= 107)
                bg = 8 | consoleBits(v - 100);
        }
        m_screen.setAttribute(fg | (bg << 4));
    }
}

}  // namespace qv::test
