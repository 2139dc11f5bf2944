#include "support/PtyProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::test {

PtyProcess::~PtyProcess() {
    if (m_pid > 0 && m_exitCode < 0) {
        ::kill(m_pid, SIGKILL);
        wait(5000);
    }
    if (m_master >= 0)
        ::close(m_master);
}

long long PtyProcess::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool PtyProcess::start(const std::vector<std::string>& argv,
                       const std::vector<std::pair<std::string, std::string>>& env) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    const std::string slaveName = ::ptsname(m_master);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool overridden = entry.rfind("TERM=", 0) == 0;
        for (const auto& [key, value] : env)
            overridden |= entry.rfind(key + "=", 0) == 0;
        if (!overridden)
            envStrings.push_back(entry);
    }
    envStrings.emplace_back("TERM=xterm");
    for (const auto& [key, value] : env)
        envStrings.push_back(key + "=" + value);
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
        // Only async-signal-safe calls from here on.
        ::setsid();
        const int slave = ::open(slaveName.c_str(), O_RDWR);
        if (slave < 0)
            ::_exit(127);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::close(m_master);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    m_pid = pid;
    return true;
}

bool PtyProcess::type(const std::string& text) {
    return m_master >= 0 && ::write(m_master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool PtyProcess::readSome(int waitMs) {
    pollfd p{m_master, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready <= 0)
        return ready == 0;
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return false;  // the program closed the terminal (EIO)
    m_output.append(buffer, static_cast<size_t>(n));
    return true;
}

std::string PtyProcess::tail(size_t count) const {
    return m_output.size() > count ? m_output.substr(m_output.size() - count) : m_output;
}

void PtyProcess::signal(int sig) {
    if (m_pid > 0 && m_exitCode < 0)
        ::kill(m_pid, sig);
}

bool PtyProcess::wait(int timeoutMs) {
    if (m_pid <= 0)
        return false;
    const long long deadline = nowMs() + timeoutMs;
    while (m_exitCode < 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (nowMs() >= deadline)
            return false;
        if (!readSome(20))
            ::usleep(20000);
    }
    return true;
}

}  // namespace qv::test
