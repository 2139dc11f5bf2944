#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

void setError(std::string* error, const char* call, const std::string& path, int code) {
    if (error)
        *error = std::string(call) + " " + path + ": " + std::strerror(code);
}

void setError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a write to `path` must replace: the target of a symbolic link, so
// that a link to a settings file elsewhere stays a link.
std::string writeTarget(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return path;  // a dangling link is replaced by the file itself
    return resolved;
}

bool writeAll(int fd, std::string_view data, int& code) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            return false;
        }
        if (n == 0) {
            code = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FileReadStatus readRegularFile(const std::string& path, std::string& out, size_t maxBytes, std::string* error) {
    out.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check
    // below refuses it before any read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        setError(error, "open", path, code);
        return code == ENOENT || code == ENOTDIR ? FileReadStatus::kMissing : FileReadStatus::kError;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        setError(error, "fstat", path, code);
        return FileReadStatus::kError;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        setError(error, "read " + path + ": not a regular file");
        return FileReadStatus::kNotRegular;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        setError(error, "read " + path + ": file larger than " + std::to_string(maxBytes) + " bytes");
        return FileReadStatus::kTooLarge;
    }
    std::string data;
    data.resize(static_cast<size_t>(st.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > maxBytes) {
                ::close(fd);
                setError(error, "read " + path + ": file larger than " + std::to_string(maxBytes) + " bytes");
                return FileReadStatus::kTooLarge;
            }
            data.resize(std::min(data.size() * 2 + 4096, maxBytes + 1));
        }
        const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            ::close(fd);
            setError(error, "read", path, code);
            return FileReadStatus::kError;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    if (used > maxBytes) {
        setError(error, "read " + path + ": file larger than " + std::to_string(maxBytes) + " bytes");
        return FileReadStatus::kTooLarge;
    }
    data.resize(used);
    out = std::move(data);
    return FileReadStatus::kOk;
}

bool writeFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    if (path.empty() || path.back() == '/') {
        setError(error, "write \"" + path + "\": not a file path");
        return false;
    }
    const std::string target = writeTarget(path);

    // Keep the permissions of the file being replaced; new files get 0644.
    // Only a regular file is replaced: renaming over a pipe or a device node
    // (say, a link to /dev/null) would destroy it.
    mode_t mode = 0644;
    struct stat old{};
    if (::lstat(target.c_str(), &old) == 0 && !S_ISLNK(old.st_mode)) {
        if (S_ISDIR(old.st_mode)) {
            setError(error, "write " + target + ": a folder of that name exists");
            return false;
        }
        if (!S_ISREG(old.st_mode)) {
            setError(error, "write " + target + ": not a regular file; it was left as it is");
            return false;
        }
        mode = old.st_mode & 07777;
    }

    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, "create temporary file for", target, errno);
        return false;
    }
    auto fail = [&](const char* call, int code) {
        ::close(fd);
        ::unlink(temp.c_str());
        setError(error, call, target, code);
        return false;
    };
    int code = 0;
    if (!writeAll(fd, contents, code))
        return fail("write", code);
    if (::fchmod(fd, mode) != 0)
        return fail("fchmod", errno);
    if (::fsync(fd) != 0)
        return fail("fsync", errno);
    if (::close(fd) != 0) {
        code = errno;
        ::unlink(temp.c_str());
        setError(error, "close", target, code);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        code = errno;
        ::unlink(temp.c_str());
        setError(error, "rename", target, code);
        return false;
    }
    // Make the rename itself durable. The new file is already in place, so a
    // folder that cannot be synced (some file systems refuse) is no failure.
    const int dirFd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool listRegularFiles(const std::string& folder, std::vector<std::string>& names, std::string* error) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR)
            return true;
        setError(error, "opendir", folder, code);
        return false;
    }
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            const int code = errno;
            ::closedir(dir);
            if (code != 0) {
                setError(error, "readdir", folder, code);
                return false;
            }
            return true;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st{};
            regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.emplace_back(entry->d_name);
    }
}

std::FILE* openOutputFile(const std::string& path, std::string* error) {
    // O_NONBLOCK: opening a FIFO must not wait for a reader. No O_TRUNC yet:
    // only a regular file may be emptied.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) {
        const int code = errno;
        if (code == ENXIO)  // a FIFO without a reader
            setError(error, "open " + path + ": not a regular file");
        else
            setError(error, "open", path, code);
        return nullptr;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setError(error, "open " + path + ": not a regular file");
        return nullptr;
    }
    if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int code = errno;
        ::close(fd);
        setError(error, "open", path, code);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (!file) {
        const int code = errno;
        ::close(fd);
        setError(error, "fdopen", path, code);
    }
    return file;
}

bool moveAside(const std::string& path, std::string& movedTo, std::string* error) {
    movedTo.clear();
    for (int n = 0; n < 100; ++n) {
        const std::string candidate = path + ".bad" + (n == 0 ? std::string() : "." + std::to_string(n));
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            movedTo = candidate;
            return true;
        }
        int code = errno;
        if (code == EINVAL) {
            // A file system without RENAME_NOREPLACE: check, then rename.
            struct stat st{};
            if (::lstat(candidate.c_str(), &st) == 0) {
                code = EEXIST;
            } else if (::rename(path.c_str(), candidate.c_str()) == 0) {
                movedTo = candidate;
                return true;
            } else {
                code = errno;
            }
        }
        if (code != EEXIST) {
            setError(error, "rename", path, code);
            return false;
        }
    }
    setError(error, "rename " + path + ": " + path + ".bad to .bad.99 are all taken");
    return false;
}

int removeStaleTemporaryFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (!listRegularFiles(folder, names))
        return 0;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int removed = 0;
    for (const std::string& name : names) {
        // writeFileAtomically's pattern: the target's name, ".tmp-", six characters.
        const size_t at = name.rfind(".tmp-");
        if (at == std::string::npos || at == 0 || name.size() != at + 5 + 6)
            continue;
        struct stat st{};
        if (::lstat((base + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;  // a link named like one is not ours
        if (::unlink((base + name).c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool pathExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

FileStamp fileStamp(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    FileStamp stamp;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modifiedNs = ns(st.st_mtim);
    stamp.changedNs = ns(st.st_ctim);
    return stamp;
}

}  // namespace qv
