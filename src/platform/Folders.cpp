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

std::string appDataFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        base = std::string(home) + "/.config";
    if (!base.empty()) {
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        const std::string folder = base + "/QuorVane";
        if (makeFolders(folder))
            return folder + "/";
    }
    return executableFolder();
}

}  // namespace qv
