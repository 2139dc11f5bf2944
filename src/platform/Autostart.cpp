#include "platform/Autostart.h"

#include "platform/Files.h"
#include "platform/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

bool needsQuoting(const std::string& argument) {
    if (argument.empty())
        return true;
    static constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";
    return argument.find_first_of(kReserved) != std::string::npos;
}

}  // namespace

std::string autostartFolder() {
    std::string base = absoluteEnv("XDG_CONFIG_HOME");
    if (base.empty()) {
        std::string home = absoluteEnv("HOME");
        if (home.empty())
            return {};
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        base = (home == "/" ? "" : home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/autostart/";
}

std::string autostartEntryPath() {
    const std::string folder = autostartFolder();
    return folder.empty() ? std::string() : folder + kAutostartEntryName;
}

bool isRunAtStartup() {
    const std::string path = autostartEntryPath();
    return !path.empty() && pathExists(path);
}

std::string ownProgramPath() {
    // readlink does not say whether it cut the name: grow until it fits.
    std::vector<char> buffer(256);
    while (buffer.size() <= (1u << 16)) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

std::string desktopExecArgument(const std::string& argument) {
    std::string quoted;
    if (needsQuoting(argument)) {
        quoted += '"';
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    } else {
        quoted = argument;
    }
    // Field codes start with '%'; a literal one is written twice.
    std::string withPercent;
    for (char c : quoted) {
        withPercent += c;
        if (c == '%')
            withPercent += '%';
    }
    // The Exec value is a key-file string: its own escapes come last.
    std::string value;
    for (char c : withPercent) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\r': value += "\\r"; break;
        case '\t': value += "\\t"; break;
        default: value += c; break;
        }
    }
    return value;
}

std::string autostartEntryText(const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quor Vane\n"
           "Comment=Starts Quor Vane at login\n"
           "Exec=" + desktopExecArgument(programPath) + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool setRunAtStartup(bool on, std::string* error, const std::string& programPath) {
    const std::string folder = autostartFolder();
    if (folder.empty()) {
        if (error)
            *error = "No autostart folder: neither XDG_CONFIG_HOME nor HOME is an absolute path.";
        return false;
    }
    const std::string path = folder + kAutostartEntryName;
    if (!on) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            if (error)
                *error = "unlink " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const std::string program = programPath.empty() ? ownProgramPath() : programPath;
    if (program.empty()) {
        if (error)
            *error = "The program's own path could not be read from /proc/self/exe.";
        return false;
    }
    if (!makeFolders(folder.substr(0, folder.size() - 1), error))
        return false;
    return writeFileAtomically(path, autostartEntryText(program), error);
}

}  // namespace qv
