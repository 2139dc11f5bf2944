// File dialogs of a helper program (zenity, kdialog): started with an
// argument vector (never through a shell), its answer read from a pipe
// while the caller's loop runs.

#include "platform/FileDialog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

extern char** environ;

namespace qv {

namespace {

constexpr int kWaitSliceMs = 20;
constexpr size_t kMaxAnswerBytes = 64 * 1024;

// The program's full path when an executable of that name is on PATH.
std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string list = path && *path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string folder = list.substr(start, end - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

std::string joinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// "--attach=<decimal id>" for an "x11:<hex id>" owner; empty for none.
std::string attachArgument(const FileDialogRequest& request) {
    const std::string& owner = request.parentWindow;
    if (owner.rfind("x11:", 0) != 0 || owner.size() == 4 || owner.size() > 4 + 16)
        return {};
    char* end = nullptr;
    const unsigned long long id = std::strtoull(owner.c_str() + 4, &end, 16);
    if (!end || *end != '\0' || id == 0)
        return {};
    return "--attach=" + std::to_string(id);
}

std::vector<std::string> zenityArguments(const std::string& program, const FileDialogRequest& request) {
    std::vector<std::string> args = {program, "--file-selection", "--title=" + request.title};
    if (const std::string attach = attachArgument(request); !attach.empty())
        args.push_back(attach);
    if (request.mode == FileDialogMode::kSave) {
        args.push_back("--save");
        args.push_back("--filename=" + joinFolder(request.folder, request.proposedName));
    } else {
        args.push_back("--filename=" + joinFolder(request.folder, ""));
    }
    if (!request.filterPattern.empty())
        args.push_back("--file-filter=" + request.filterName + " | " + request.filterPattern);
    return args;
}

std::vector<std::string> kdialogArguments(const std::string& program, const FileDialogRequest& request) {
    std::vector<std::string> args = {program, "--title", request.title};
    if (const std::string attach = attachArgument(request); !attach.empty())
        args.push_back(attach);
    if (request.mode == FileDialogMode::kSave) {
        args.push_back("--getsavefilename");
        args.push_back(joinFolder(request.folder, request.proposedName));
    } else {
        args.push_back("--getopenfilename");
        args.push_back(request.folder.empty() ? "." : request.folder);
    }
    if (!request.filterPattern.empty())
        args.push_back(request.filterPattern + "|" + request.filterName);
    return args;
}

// Waits for the child; after a quit it is asked to end, then made to.
int reap(pid_t pid, bool stop) {
    if (stop)
        ::kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0 && errno != EINTR)
            return -1;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

FileDialogResult runProgram(const std::vector<std::string>& args, const FileDialogWait& wait) {
    FileDialogResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.status = FileDialogStatus::kFailed;
        result.error = std::string("pipe2: ") + std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // A group of its own: Ctrl+C in the terminal reaches the program, which
    // then ends the helper itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        result.error = "posix_spawn " + args[0] + ": " + std::strerror(spawned);
        return result;  // kUnavailable
    }

    std::string answer;
    bool quit = false, open = true;
    while (open) {
        pollfd poller{fds[0], POLLIN, 0};
        const int ready = ::poll(&poller, 1, 0);
        if (ready > 0) {
            char buffer[4096];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n > 0) {
                if (answer.size() < kMaxAnswerBytes)
                    answer.append(buffer, static_cast<size_t>(std::min<size_t>(n, kMaxAnswerBytes - answer.size())));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            open = false;  // end of the answer (or a broken pipe)
            break;
        }
        if (!wait(kWaitSliceMs)) {
            quit = true;
            break;
        }
    }
    ::close(fds[0]);
    const int status = reap(pid, quit);
    if (quit) {
        result.status = FileDialogStatus::kQuit;
        return result;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // Ended by someone else's signal: the user's answer was "no file", not "try another dialog".
    if (code == 1 || (status != -1 && WIFSIGNALED(status))) {
        result.status = FileDialogStatus::kCancelled;
        return result;
    }
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();
    if (code != 0 || answer.empty()) {
        result.status = FileDialogStatus::kUnavailable;
        result.error = args[0] + " ended with status " + std::to_string(code);
        return result;
    }
    if (answer[0] != '/' || answer.find('\n') != std::string::npos || answer.find('\0') != std::string::npos) {
        result.status = FileDialogStatus::kFailed;
        result.error = args[0] + " answered with something that is not one absolute path";
        return result;
    }
    result.status = FileDialogStatus::kChosen;
    result.path = answer;
    return result;
}

class HelperProgramFileDialog final : public IFileDialog {
public:
    FileDialogResult run(const FileDialogRequest& request, const FileDialogWait& wait) override {
        FileDialogResult result;
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if ((!x11 || !*x11) && (!wayland || !*wayland)) {
            result.error = "no display for a helper program";
            return result;
        }
        if (const std::string zenity = findOnPath("zenity"); !zenity.empty()) {
            result = runProgram(zenityArguments(zenity, request), wait);
            if (result.status != FileDialogStatus::kUnavailable)
                return result;
        }
        if (const std::string kdialog = findOnPath("kdialog"); !kdialog.empty()) {
            result = runProgram(kdialogArguments(kdialog, request), wait);
            if (result.status != FileDialogStatus::kUnavailable)
                return result;
        }
        if (result.error.empty())
            result.error = "neither zenity nor kdialog is installed";
        result.status = FileDialogStatus::kUnavailable;
        return result;
    }
};

}  // namespace

std::unique_ptr<IFileDialog> createHelperProgramFileDialog() { return std::make_unique<HelperProgramFileDialog>(); }

}  // namespace qv
