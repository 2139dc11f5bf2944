#include "platform/DesktopOpener.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qv {

namespace {

XdgOpener& defaultOpener() {
    static XdgOpener opener;
    return opener;
}

IDesktopOpener* gInstalledOpener = nullptr;

std::string exitText(int status) {
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case 1: return "it was called wrongly";
        case 2: return "the file does not exist";
        case 3: return "no application for it was found";
        case 4: return "the application failed";
        default: return "it ended with status " + std::to_string(WEXITSTATUS(status));
        }
    }
    if (WIFSIGNALED(status))
        return "it was ended by signal " + std::to_string(WTERMSIG(status));
    return "it ended abnormally";
}

}  // namespace

XdgOpener::XdgOpener(std::string program, int waitMs) : m_program(std::move(program)), m_waitMs(waitMs) {}

bool XdgOpener::open(const std::string& target, std::string* error) {
    const auto fail = [error](std::string text) {
        if (error)
            *error = std::move(text);
        return false;
    };
    if (target.empty())
        return fail("Nothing to open.");
    if (target.front() == '-' || target.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return fail("Refused to open \"" + target + "\": not a plain address or path.");

    std::string program = m_program;
    std::string argument = target;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (spawned != 0)
        return fail("posix_spawnp " + m_program + ": " + std::strerror(spawned));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_waitMs);
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return true;
            return fail(m_program + " could not open \"" + target + "\": " + exitText(status));
        }
        if (done < 0 && errno != EINTR)
            return fail("waitpid " + m_program + ": " + std::strerror(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: it started the application and waits for it. Reap it
    // when it ends so it leaves no zombie behind.
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a thread the child stays a zombie until the program ends.
    }
    return true;
}

IDesktopOpener& desktopOpener() { return gInstalledOpener ? *gInstalledOpener : defaultOpener(); }

void setDesktopOpener(IDesktopOpener* opener) { gInstalledOpener = opener; }

}  // namespace qv
