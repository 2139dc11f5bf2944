#include "platform/Processes.h"


#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

namespace {

constexpr size_t kMaxProcFileBytes = 4096;
constexpr int kMaxProcesses = 65536;

// Files under /proc report a size of 0: read up to the limit instead.
bool readSmallFile(const std::string& path, std::string& out) {
    out.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char buffer[kMaxProcFileBytes];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    if (n <= 0)
        return false;
    out.assign(buffer, static_cast<size_t>(n));
    return true;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool matches(const std::string& name, const std::vector<std::string>& names) {
    return !name.empty() && std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(name, n); });
}

// The file name of the first argument: Wine shows "C:\...\vrserver.exe".
std::string firstArgumentName(const std::string& cmdline) {
    std::string first = cmdline.substr(0, cmdline.find('\0'));
    const size_t slash = first.find_last_of("/\\");
    return slash == std::string::npos ? first : first.substr(slash + 1);
}

}  // namespace

bool isProcessRunning(const std::vector<std::string>& names, const std::string& procRoot) {
    DIR* dir = opendir(procRoot.c_str());
    if (!dir)
        return false;
    bool found = false;
    int seen = 0;
    while (!found && seen < kMaxProcesses) {
        const dirent* entry = readdir(dir);
        if (!entry)
            break;
        const std::string id = entry->d_name;
        if (id.empty() || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        ++seen;
        const std::string base = procRoot + "/" + id + "/";
        std::string text;
        if (readSmallFile(base + "comm", text)) {
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (matches(text, names)) {
                found = true;
                break;
            }
        }
        text.clear();
        if (readSmallFile(base + "cmdline", text) &&
            matches(firstArgumentName(text), names))
            found = true;
    }
    closedir(dir);
    return found;
}

}  // namespace qv
