#pragma once
// Named shared memory of the simulators, seen as files of a shared-memory
// folder.
//
// The simulators publish their telemetry in named file mappings. Native Linux
// programs reach them through shared-memory bridges that expose each mapping
// as a file of the same name in /dev/shm, so a mapping name "Local\NAME",
// "Global\NAME" or "NAME" names the file NAME in the shared-memory folder:
// /dev/shm, or the folder in $QUORVANE_SHM_DIR (tests, other bridge layouts).
//
// Reading past the end of a mapped file kills the process with SIGBUS. A map
// therefore knows its size, open() refuses files smaller than the caller
// needs, and isIntact() re-checks the file before each sample: a file that
// shrank below the mapped size, or was removed, means the publisher is gone.
// The file may still shrink between that check and the read, so the bytes of
// an outside process's mapping are only touched through read() or another
// guard of MappedFault.h.
// Readers must check every offset they take from the mapped bytes against
// size() themselves: the contents are untrusted.
//
// Not thread-safe; each map belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// The shared-memory folder, ending in "/": $QUORVANE_SHM_DIR when set and not
// empty, else "/dev/shm/".
std::string sharedMemoryFolder();

// The file name for a mapping name: the name without a leading "Local\" or
// "Global\". Empty when that cannot name a file of the folder (empty, "." or
// "..", or holding '/', '\' or a NUL byte).
std::string sharedMemoryFileName(std::string_view mappingName);

enum class ShmAccess { ReadOnly, ReadWrite };

// What became of the file behind an open map (see SharedMemoryMap::fileState).
enum class ShmFileState {
    Closed,    // nothing is open
    Intact,    // still linked under its name, at least as long as the mapping
    Removed,   // no longer under its name, but still whole: every byte stays readable
    Replaced,  // another file now carries the name; this one is still whole
    Shrunk,    // shorter than the mapping (or unreadable): reading it would fault
};

class SharedMemoryMap {
public:
    // folder: where the files live, ending in "/"; empty means
    // sharedMemoryFolder() at each open.
    explicit SharedMemoryMap(std::string folder = {}) : m_folder(std::move(folder)) {}
    ~SharedMemoryMap();
    SharedMemoryMap(const SharedMemoryMap&) = delete;
    SharedMemoryMap& operator=(const SharedMemoryMap&) = delete;

    // Maps an existing file whole. Fails, leaving nothing open, when the file
    // is missing, is not a regular file, or is smaller than minSize (or empty).
    bool open(std::string_view mappingName, size_t minSize, ShmAccess access = ShmAccess::ReadOnly);

    // Makes a new file of `size` zero bytes and maps it read-write. An older
    // file of that name is removed first, never truncated, so a reader that
    // still maps it sees it gone instead of faulting on it.
    bool create(std::string_view mappingName, size_t size);

    // Maps the file read-write, creating it with `size` zero bytes when it is
    // absent. Creation is atomic: another process opening the same name at
    // the same time sees either no file or the whole one. createdHere() tells
    // which happened.
    bool openOrCreate(std::string_view mappingName, size_t size);

    // Unmaps and closes; safe when not open and more than once.
    void close();

    // Removes the file this map opened or created (the mapping itself stays
    // valid until close()). False when it was already gone or replaced.
    bool removeFile();

    bool isOpen() const { return m_data != nullptr; }
    const uint8_t* data() const { return m_data; }
    // The same bytes for a read-write map; null for a read-only one.
    uint8_t* writableData() const { return m_writable ? m_data : nullptr; }
    size_t size() const { return m_size; }
    bool createdHere() const { return m_createdHere; }
    // True when the last open() failed only because the file does not exist
    // (the publisher is not running: not worth a message).
    bool lastOpenFoundNoFile() const { return m_missing; }
    // The file's path; empty when nothing is open.
    const std::string& path() const { return m_path; }

    // True while the file is still linked under its name and at least as
    // long as the mapping, so that every byte of data()..size() is readable.
    // One fstat; cheap enough for every sample.
    bool isIntact() const;

    // True while the file is at least as long as the mapping, whether or not
    // it is still linked under its name: every byte stays readable. One fstat.
    bool isWhole() const;

    // Finer than isIntact(): tells a file that is merely gone from its name
    // (still safe to read, as a mapping a publisher left behind) from one
    // that shrank, and notices a newer file under the same name. One fstat
    // and one stat.
    ShmFileState fileState() const;

    // Copies n bytes at `offset` of the mapping into dst, safe against the
    // file shrinking at that very moment (see MappedFault.h). False, with dst
    // unspecified, when the range lies outside the mapping or the file no
    // longer holds it.
    bool read(size_t offset, void* dst, size_t n) const;

    // The text of the last failure, naming the call and the file.
    const std::string& lastError() const { return m_error; }

private:
    bool resolve(std::string_view mappingName);
    bool mapFd(int fd, size_t size, bool writable);
    bool fail(const std::string& what);

    std::string m_folder;
    std::string m_path;
    std::string m_error;
    int m_fd = -1;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_writable = false;
    bool m_createdHere = false;
    bool m_missing = false;  // the last open failed because the file does not exist
};

}  // namespace qv
