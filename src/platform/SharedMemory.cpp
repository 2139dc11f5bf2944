#include "platform/SharedMemory.h"

#include "platform/MappedFault.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

std::string errnoText() { return std::strerror(errno); }

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder.push_back('/');
    return folder;
}

}  // namespace

std::string sharedMemoryFolder() {
    const char* dir = std::getenv("QUORVANE_SHM_DIR");
    if (dir && *dir)
        return withSlash(dir);
    return "/dev/shm/";
}

std::string sharedMemoryFileName(std::string_view mappingName) {
    for (std::string_view prefix : {std::string_view("Local\\"), std::string_view("Global\\")}) {
        if (mappingName.substr(0, prefix.size()) == prefix) {
            mappingName.remove_prefix(prefix.size());
            break;
        }
    }
    if (mappingName.empty() || mappingName == "." || mappingName == "..")
        return {};
    for (char c : mappingName) {
        if (c == '/' || c == '\\' || c == '\0')
            return {};
    }
    return std::string(mappingName);
}

SharedMemoryMap::~SharedMemoryMap() { close(); }

bool SharedMemoryMap::fail(const std::string& what) {
    m_error = what;
    close();
    return false;
}

bool SharedMemoryMap::resolve(std::string_view mappingName) {
    close();
    m_missing = false;
    const std::string file = sharedMemoryFileName(mappingName);
    if (file.empty()) {
        m_error = "shared memory: the name \"" + std::string(mappingName) + "\" cannot name a file";
        return false;
    }
    m_path = (m_folder.empty() ? sharedMemoryFolder() : withSlash(m_folder)) + file;
    return true;
}

bool SharedMemoryMap::mapFd(int fd, size_t size, bool writable) {
    m_fd = fd;
    void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        return fail("mmap " + m_path + ": " + errnoText());
    m_data = static_cast<uint8_t*>(p);
    m_size = size;
    m_writable = writable;
    return true;
}

bool SharedMemoryMap::open(std::string_view mappingName, size_t minSize, ShmAccess access) {
    if (!resolve(mappingName))
        return false;
    const bool writable = access == ShmAccess::ReadWrite;
    if (isInMemory())
        return memoryOpen(minSize, writable);
    // O_NONBLOCK: a FIFO planted under the name must not stall the caller.
    const int fd = ::open(m_path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        m_missing = errno == ENOENT;
        return fail("open " + m_path + ": " + errnoText());
    }
    m_fd = fd;
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return fail("fstat " + m_path + ": " + errnoText());
    if (!S_ISREG(st.st_mode))
        return fail("open " + m_path + ": not a regular file");
    const size_t size = static_cast<size_t>(st.st_size);
    if (size == 0 || size < minSize) {
        return fail("open " + m_path + ": " + std::to_string(size) + " bytes, fewer than the " +
                    std::to_string(minSize == 0 ? 1 : minSize) + " needed");
    }
    return mapFd(fd, size, writable);
}

bool SharedMemoryMap::create(std::string_view mappingName, size_t size) {
    if (!resolve(mappingName))
        return false;
    if (size == 0)
        return fail("create " + m_path + ": a map needs at least one byte");
    if (isInMemory())
        return memoryCreate(size, true);
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
        return fail("unlink " + m_path + ": " + errnoText());
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("create " + m_path + ": " + errnoText());
    m_fd = fd;
    m_createdHere = true;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const std::string error = "ftruncate " + m_path + ": " + errnoText();
        ::unlink(m_path.c_str());
        return fail(error);
    }
    if (!mapFd(fd, size, true)) {
        ::unlink(m_path.c_str());
        return false;
    }
    return true;
}

bool SharedMemoryMap::openOrCreate(std::string_view mappingName, size_t size) {
    if (!resolve(mappingName))
        return false;
    if (size == 0)
        return fail("create " + m_path + ": a map needs at least one byte");
    if (isInMemory())
        return memoryCreate(size, false);
    const std::string path = m_path;
    // A few rounds: the file may vanish between a failed create and the open.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (open(mappingName, size, ShmAccess::ReadWrite))
            return true;
        if (!m_missing)
            return false;

        // Build the file whole under a temporary name, then link it into
        // place, so nobody ever sees it shorter than `size`.
        std::string temp = path + ".tmp-XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            m_path = path;
            return fail("mkstemp " + temp + ": " + errnoText());
        }
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            m_path = path;
            const std::string error = "ftruncate " + temp + ": " + errnoText();
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(error);
        }
        ::fchmod(fd, 0644);
        const int linked = ::link(temp.c_str(), path.c_str());
        const int linkErrno = errno;
        ::unlink(temp.c_str());
        if (linked == 0) {
            m_path = path;
            m_createdHere = true;
            if (!mapFd(fd, size, true)) {
                ::unlink(path.c_str());
                return false;
            }
            return true;
        }
        ::close(fd);
        if (linkErrno != EEXIST) {
            m_path = path;
            errno = linkErrno;
            return fail("link " + path + ": " + errnoText());
        }
    }
    m_path = path;
    return fail("create " + path + ": the file keeps appearing and vanishing");
}

void SharedMemoryMap::close() {
    if (m_data && !m_memoryFile)
        ::munmap(m_data, m_size);
    m_memoryFile.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_data = nullptr;
    m_size = 0;
    m_fd = -1;
    m_writable = false;
    m_createdHere = false;
    m_path.clear();
}

bool SharedMemoryMap::removeFile() {
    if (m_memoryFile)
        return memoryRemove();
    if (m_fd < 0 || m_path.empty())
        return false;
    struct stat mine{};
    struct stat named{};
    if (::fstat(m_fd, &mine) != 0 || ::stat(m_path.c_str(), &named) != 0)
        return false;
    // Only our own file: a newer one under the same name belongs to someone else.
    if (mine.st_dev != named.st_dev || mine.st_ino != named.st_ino)
        return false;
    if (::unlink(m_path.c_str()) != 0) {
        m_error = "unlink " + m_path + ": " + errnoText();
        return false;
    }
    return true;
}

bool SharedMemoryMap::read(size_t offset, void* dst, size_t n) const {
    if (!m_data || offset > m_size || n > m_size - offset)
        return false;
    return copyFromMapping(dst, m_data + offset, n);
}

bool SharedMemoryMap::isWhole() const {
    // An in-memory file never shrinks under its mapping: this map holds it.
    if (m_memoryFile)
        return m_data != nullptr;
    if (m_fd < 0 || !m_data)
        return false;
    struct stat st{};
    return ::fstat(m_fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= m_size;
}

bool SharedMemoryMap::isIntact() const {
    if (m_memoryFile)
        return memoryFileState() == ShmFileState::Intact;
    if (m_fd < 0 || !m_data)
        return false;
    struct stat st{};
    if (::fstat(m_fd, &st) != 0)
        return false;
    return st.st_nlink > 0 && static_cast<uint64_t>(st.st_size) >= m_size;
}

}  // namespace qv

namespace qv {

ShmFileState SharedMemoryMap::fileState() const {
    if (m_memoryFile)
        return memoryFileState();
    if (m_fd < 0 || !m_data)
        return ShmFileState::Closed;
    struct stat mine{};
    if (::fstat(m_fd, &mine) != 0 || static_cast<uint64_t>(mine.st_size) < m_size)
        return ShmFileState::Shrunk;
    struct stat named{};
    if (::stat(m_path.c_str(), &named) != 0)
        return ShmFileState::Removed;
    if (named.st_dev != mine.st_dev || named.st_ino != mine.st_ino)
        return ShmFileState::Replaced;
    return ShmFileState::Intact;
}

}  // namespace qv
