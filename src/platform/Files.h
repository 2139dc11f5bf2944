#pragma once
// Whole-file reads and crash-safe whole-file writes for the settings files.
//
// writeFileAtomically never leaves a half-written file behind: the text goes
// to a temporary file in the target's own folder, is flushed to the disk and
// only then renamed over the target. A crash, a kill or a full disk at any
// moment leaves either the old file or the new one. Every function is safe
// to call from several threads at once (each write uses a temporary file of
// its own; the last rename wins).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Settings files are a few kilobytes; anything far larger is not ours.
inline constexpr size_t kMaxSettingsFileBytes = 1u << 20;

enum class FileReadStatus {
    kOk,
    kMissing,     // no such file (or a folder on the way is missing)
    kNotRegular,  // a folder, a pipe, a device ...: never opened for reading
    kTooLarge,    // larger than the caller's limit
    kError,       // any other failure (permissions, I/O error)
};

// Reads a whole regular file of at most maxBytes into `out`. On any status
// but kOk, `out` is empty and `error` (when given) names the call and cause.
// Never blocks on a pipe or device: those are refused before being read.
FileReadStatus readRegularFile(const std::string& path, std::string& out, size_t maxBytes = kMaxSettingsFileBytes,
                               std::string* error = nullptr);

// Replaces the file at `path` with `contents`, atomically: temporary file in
// the same folder, write, fsync, rename, fsync of the folder. When `path` is a
// symbolic link, the file it points to is replaced and the link kept. Only a
// regular file is ever replaced: a pipe, a device, a socket (also as the end
// of a link) is left as it is and the write fails. On failure returns false,
// leaves the old file untouched, removes the temporary file and sets `error`.
bool writeFileAtomically(const std::string& path, std::string_view contents, std::string* error = nullptr);

// Names of the regular files directly in `folder` (symbolic links count when
// they point to a regular file), in no particular order. False with `error`
// when the folder cannot be listed; a missing folder gives an empty list and
// true.
bool listRegularFiles(const std::string& folder, std::vector<std::string>& names, std::string* error = nullptr);

// Opens `path` for writing from its start, as a fresh log or data file,
// without ever blocking: a pipe, a device or anything else that is not a
// regular file (also behind a link) is refused. Null with `error` on failure.
std::FILE* openOutputFile(const std::string& path, std::string* error = nullptr);

// Moves whatever is at `path` (file, link, pipe ...) aside to path + ".bad",
// or, when that name is taken, to the first free of path + ".bad.1" to
// ".bad.99": an older copy is never replaced. True with `movedTo` set; false
// with `error` when nothing was moved.
bool moveAside(const std::string& path, std::string& movedTo, std::string* error = nullptr);

// Removes the temporary files that writeFileAtomically leaves behind when the
// process is killed mid-write ("<name>.tmp-" and six characters) directly in
// `folder`. Returns how many were removed.
int removeStaleTemporaryFiles(const std::string& folder);

// True when something (file, folder, link) exists at `path`.
bool pathExists(const std::string& path);

// What tells one version of a file from another without reading it: device
// and inode (writeFileAtomically makes a new one), size, and the times of
// the last change of contents and of status, in nanoseconds. Links are
// followed. All zero when nothing can be found at `path`.
struct FileStamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const std::string& path);

}  // namespace qv
