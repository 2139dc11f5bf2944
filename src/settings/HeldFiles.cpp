#include "settings/HeldFiles.h"

#include <mutex>
#include <set>

namespace qv {

namespace {

std::mutex gMutex;
std::set<std::string>& held() {
    static std::set<std::string> paths;
    return paths;
}

}  // namespace

void holdFromWriting(const std::string& path) {
    std::lock_guard<std::mutex> lock(gMutex);
    held().insert(path);
}

bool isHeldFromWriting(const std::string& path) {
    std::lock_guard<std::mutex> lock(gMutex);
    return held().count(path) != 0;
}

std::string heldFileError(const std::string& path) {
    return "write " + path + ": the file failed to load and was kept as it is; it is not written";
}

}  // namespace qv
