#pragma once
// What stands at a path, without following a symbolic link, and removing a
// file. Used before a file is replaced on the user's behalf: a link or a
// folder in place of a profile is refused rather than written through.

#include <string>

namespace qv {

enum class PathKind {
    kMissing,
    kRegular,
    kSymbolicLink,
    kOther,  // a folder, pipe, device or socket
    kError,  // could not be examined (permissions, I/O error)
};

// lstat of the path.
PathKind pathKindNoFollow(const std::string& path, std::string* error = nullptr);

// Removes the file (or the link itself); false with `error` naming the call
// and cause. A missing file is an error too.
bool removeFile(const std::string& path, std::string* error = nullptr);

}  // namespace qv
