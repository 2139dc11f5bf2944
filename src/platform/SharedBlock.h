#pragma once
// A block of memory shared with a helper process of ours: anonymous shared
// memory (memfd) that the creator maps, hands to the helper as a file
// descriptor, and the helper maps at the very same address, so objects that
// point into the block (a synthesis state and the settings it reads) are
// valid in both processes.
//
// Not thread-safe; the creator owns the block for the life of its users.

#include <cstddef>
#include <string>

namespace qv {

class SharedBlock {
public:
    SharedBlock() = default;
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // Creates `size` zero bytes (rounded up to whole pages) and maps them.
    bool create(const std::string& name, size_t size);
    // Maps the block behind `fd` at exactly `address` (the helper's side);
    // fails when anything else already lives there. Takes `fd` over.
    bool mapAt(int fd, size_t size, void* address);
    void close();

    void* data() const { return m_data; }
    size_t size() const { return m_size; }
    // The descriptor to hand to a helper (close-on-exec; the spawn passes it).
    int fd() const { return m_fd; }
    const std::string& lastError() const { return m_error; }

private:
    bool fail(const std::string& what);

    int m_fd = -1;
    void* m_data = nullptr;
    size_t m_size = 0;
    std::string m_error;
};

}  // namespace qv
