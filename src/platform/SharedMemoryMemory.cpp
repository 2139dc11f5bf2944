// The in-memory folder of SharedMemoryMap: "files" are heap blocks in a
// process-wide table keyed by path. A map holds its block alive, so a removed
// or replaced block stays readable to whoever still maps it, as a removed
// file does.

#include "platform/SharedMemory.h"

#include <mutex>
#include <unordered_map>

namespace qv {

struct ShmMemoryFile {
    explicit ShmMemoryFile(size_t n) : bytes(new uint8_t[n]()), size(n) {}
    std::unique_ptr<uint8_t[]> bytes;  // zero-filled; at least 16-byte aligned
    size_t size;
};

namespace {

struct MemoryFolder {
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<ShmMemoryFile>> files;
};

// Never destroyed: maps may outlive static destruction in the fuzzers.
MemoryFolder& memoryFolder() {
    static MemoryFolder* folder = new MemoryFolder;
    return *folder;
}

}  // namespace

bool SharedMemoryMap::isInMemory() const { return m_path.compare(0, kMemoryFolderPrefix.size(), kMemoryFolderPrefix) == 0; }

bool SharedMemoryMap::memoryOpen(size_t minSize, bool writable) {
    std::shared_ptr<ShmMemoryFile> file;
    {
        MemoryFolder& folder = memoryFolder();
        std::lock_guard<std::mutex> lock(folder.mutex);
        const auto it = folder.files.find(m_path);
        if (it != folder.files.end())
            file = it->second;
    }
    if (!file) {
        m_missing = true;
        return fail("open " + m_path + ": No such file or directory");
    }
    if (file->size < minSize) {
        return fail("open " + m_path + ": " + std::to_string(file->size) + " bytes, fewer than the " +
                    std::to_string(minSize) + " needed");
    }
    m_memoryFile = std::move(file);
    m_data = m_memoryFile->bytes.get();
    m_size = m_memoryFile->size;
    m_writable = writable;
    return true;
}

bool SharedMemoryMap::memoryCreate(size_t size, bool replace) {
    std::shared_ptr<ShmMemoryFile> file;
    {
        MemoryFolder& folder = memoryFolder();
        std::lock_guard<std::mutex> lock(folder.mutex);
        std::shared_ptr<ShmMemoryFile>& slot = folder.files[m_path];
        if (slot && !replace) {
            if (slot->size < size) {
                return fail("open " + m_path + ": " + std::to_string(slot->size) + " bytes, fewer than the " +
                            std::to_string(size) + " needed");
            }
            file = slot;
        } else {
            slot = std::make_shared<ShmMemoryFile>(size);
            file = slot;
            m_createdHere = true;
        }
    }
    m_memoryFile = std::move(file);
    m_data = m_memoryFile->bytes.get();
    m_size = m_memoryFile->size;
    m_writable = true;
    return true;
}

bool SharedMemoryMap::memoryRemove() {
    MemoryFolder& folder = memoryFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    const auto it = folder.files.find(m_path);
    if (it == folder.files.end() || it->second != m_memoryFile)
        return false;
    folder.files.erase(it);
    return true;
}

ShmFileState SharedMemoryMap::memoryFileState() const {
    if (!m_memoryFile)
        return ShmFileState::Closed;
    MemoryFolder& folder = memoryFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    const auto it = folder.files.find(m_path);
    if (it == folder.files.end())
        return ShmFileState::Removed;
    return it->second == m_memoryFile ? ShmFileState::Intact : ShmFileState::Replaced;
}

}  // namespace qv
