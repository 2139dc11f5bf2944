#include "platform/SharedBlock.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace qv {

SharedBlock::~SharedBlock() { close(); }

bool SharedBlock::fail(const std::string& what) {
    m_error = what + ": " + std::strerror(errno);
    close();
    return false;
}

bool SharedBlock::create(const std::string& name, size_t size) {
    close();
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    size = (size + page - 1) / page * page;
    m_fd = ::memfd_create(name.c_str(), MFD_CLOEXEC);
    if (m_fd < 0)
        return fail("memfd_create " + name);
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        return fail("ftruncate " + name);
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (data == MAP_FAILED)
        return fail("mmap " + name);
    m_data = data;
    m_size = size;
    return true;
}

bool SharedBlock::mapAt(int fd, size_t size, void* address) {
    close();
    m_fd = fd;
    void* data = ::mmap(address, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED_NOREPLACE, fd, 0);
    if (data == MAP_FAILED)
        return fail("mmap of the shared block");
    if (data != address) {  // a kernel without MAP_FIXED_NOREPLACE treats it as a hint
        ::munmap(data, size);
        errno = EEXIST;
        return fail("mmap of the shared block at its address");
    }
    m_data = data;
    m_size = size;
    return true;
}

void SharedBlock::close() {
    if (m_data != nullptr)
        ::munmap(m_data, m_size);
    if (m_fd >= 0)
        ::close(m_fd);
    m_data = nullptr;
    m_size = 0;
    m_fd = -1;
}

}  // namespace qv
