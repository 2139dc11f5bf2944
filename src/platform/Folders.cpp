#include "platform/Folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

bool makeFolders(const std::string& path, std::string* error) {
    if (path.empty()) {
        if (error)
            *error = "mkdir: empty path";
        return false;
    }
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        const size_t next = path.find('/', pos);
        partial = path.substr(0, next == std::string::npos ? path.size() : next);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            if (error)
                *error = "mkdir " + partial + ": " + std::strerror(errno);
            return false;
        }
        if (next == std::string::npos)
            break;
        pos = next + 1;
    }
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error)
            *error = "mkdir " + path + ": not a folder";
        return false;
    }
    return true;
}

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

namespace {

bool isWritableFolder(const std::string& folder) {
    struct stat st{};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// /tmp/QuorVane-<uid>/, made private to this user; empty when it cannot be
// had safely (someone else's folder or a link in its place).
std::string privateTemporaryFolder() {
    const std::string folder = "/tmp/QuorVane-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat st{};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0)
        return {};
    return folder + "/";
}

}  // namespace

std::string appDataFolder(std::string* note) {
    if (note)
        note->clear();
    std::string base;
    std::string why;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        base = std::string(home) + "/.config";
    else
        why = "neither XDG_CONFIG_HOME nor HOME names an absolute folder";
    if (!base.empty()) {
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        const std::string folder = base + "/QuorVane";
        std::string error;
        if (makeFolders(folder, &error) && isWritableFolder(folder))
            return folder + "/";
        why = error.empty() ? folder + " is not writable" : error;
    }
    // Never a folder this user cannot write: the settings would be lost at
    // every save without a word.
    std::string fallback = executableFolder();
    if (!isWritableFolder(fallback))
        fallback = privateTemporaryFolder();
    if (note) {
        *note = fallback.empty()
                    ? "The settings folder cannot be used (" + why + ") and no other folder is writable: settings "
                      "will not be saved."
                    : "The settings folder cannot be used (" + why + "): settings are kept in " + fallback;
    }
    if (!fallback.empty())
        return fallback;
    // Nowhere to write: a folder that does not exist, so every save fails
    // with an error instead of writing somewhere unexpected.
    return (base.empty() ? std::string("/nonexistent") : base) + "/QuorVane/";
}

}  // namespace qv
