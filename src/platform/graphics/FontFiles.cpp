#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <dirent.h>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <utility>

namespace qv {

namespace {

// Deep enough for any sensible folder tree; the visited set already stops loops.
constexpr int kMaxFontFolderDepth = 16;

bool hasFontExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const char* extension = name.c_str() + dot;
    return ::strcasecmp(extension, ".ttf") == 0 || ::strcasecmp(extension, ".otf") == 0;
}

void walk(const std::string& folder, int depth, std::set<std::pair<dev_t, ino_t>>& visited,
          std::vector<std::string>& files) {
    struct stat st{};
    if (depth > kMaxFontFolderDepth || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (!visited.insert({st.st_dev, st.st_ino}).second)
        return;  // reached again through a link
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + name;
        struct stat entryStat{};
        if (::stat(path.c_str(), &entryStat) != 0)
            continue;  // dangling link or vanished
        if (S_ISDIR(entryStat.st_mode))
            walk(path + "/", depth + 1, visited, files);
        else if (S_ISREG(entryStat.st_mode) && hasFontExtension(name))
            files.push_back(path);
    }
}

}  // namespace

std::vector<std::string> collectFontFiles(const std::string& folder) {
    std::vector<std::string> files;
    if (folder.empty())
        return files;
    std::set<std::pair<dev_t, ino_t>> visited;
    walk(folder.back() == '/' ? folder : folder + "/", 0, visited, files);
    return files;
}

}  // namespace qv
