#include "platform/PathKind.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

PathKind pathKindNoFollow(const std::string& path, std::string* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return PathKind::kMissing;
        if (error)
            *error = "lstat " + path + ": " + std::strerror(errno);
        return PathKind::kError;
    }
    if (S_ISLNK(info.st_mode))
        return PathKind::kSymbolicLink;
    return S_ISREG(info.st_mode) ? PathKind::kRegular : PathKind::kOther;
}

bool removeFile(const std::string& path, std::string* error) {
    if (::unlink(path.c_str()) == 0)
        return true;
    if (error)
        *error = "unlink " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace qv
