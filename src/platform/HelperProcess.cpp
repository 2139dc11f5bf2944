#include "platform/HelperProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qv {
namespace {

// Descriptors are moved above this number before the spawn so that none of
// them is already at one of its target numbers.
constexpr int kStagingFd = 100;

}  // namespace

HelperProcess::~HelperProcess() { stop(0); }

bool HelperProcess::start(const std::vector<std::string>& argv, const std::vector<int>& passFds,
                          const std::vector<std::pair<std::string, std::string>>& environment, int standardOutput,
                          int standardError) {
    stop(0);
    if (argv.empty()) {
        m_error = "no program to start";
        return false;
    }
    std::vector<int> staged;
    auto closeStaged = [&staged] {
        for (int fd : staged)
            ::close(fd);
    };
    for (int fd : passFds) {
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, kStagingFd);
        if (copy < 0) {
            m_error = std::string("fcntl F_DUPFD_CLOEXEC: ") + std::strerror(errno);
            closeStaged();
            return false;
        }
        staged.push_back(copy);
    }
    // Standard output and error in place of ours, staged the same way.
    std::vector<std::pair<int, int>> standard;
    for (const auto& [fd, target] : {std::pair{standardOutput, 1}, std::pair{standardError, 2}}) {
        if (fd < 0)
            continue;
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, kStagingFd);
        if (copy < 0) {
            m_error = std::string("fcntl F_DUPFD_CLOEXEC: ") + std::strerror(errno);
            closeStaged();
            return false;
        }
        staged.push_back(copy);
        standard.emplace_back(copy, target);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (size_t i = 0; i < passFds.size(); ++i)
        posix_spawn_file_actions_adddup2(&actions, staged[i], 3 + static_cast<int>(i));
    for (const auto& [copy, target] : standard)
        posix_spawn_file_actions_adddup2(&actions, copy, target);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3 + static_cast<int>(passFds.size()));

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // The environment: ours, with the given names replaced.
    std::vector<std::string> settings;
    for (const auto& [name, value] : environment)
        settings.push_back(name + "=" + value);
    std::vector<char*> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const bool replaced = std::any_of(environment.begin(), environment.end(), [e](const auto& setting) {
            return std::strncmp(*e, setting.first.c_str(), setting.first.size()) == 0 &&
                   (*e)[setting.first.size()] == '=';
        });
        if (!replaced)
            env.push_back(*e);
    }
    for (std::string& setting : settings)
        env.push_back(setting.data());
    env.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    closeStaged();
    if (rc != 0) {
        m_error = "posix_spawn " + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pid = pid;
    return true;
}

bool HelperProcess::isStarted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pid > 0;
}

pid_t HelperProcess::pid() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pid;
}

void HelperProcess::kill() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

bool HelperProcess::reap() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pid <= 0)
        return true;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno == ECHILD)) {
        m_pid = -1;
        return true;
    }
    return false;
}

void HelperProcess::stop(int graceMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (!reap() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (reap())
        return;
    kill();
    // A killed process ends at once unless it waits in the kernel (a driver
    // call); it is reaped as soon as it ends.
    const auto killDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    while (!reap() && std::chrono::steady_clock::now() < killDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace qv
