#include "history.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

History::~History()
{
    if (m_data)
        munmap(m_data, m_bytes);
}

bool History::allocate(std::size_t capacity)
{
    if (m_data)
        return true;
    const std::size_t bytes = capacity * sizeof(float);
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return false;
    // Large pages make the reset cheap: a full history is a few hundred pages, not 31,250.
    madvise(p, bytes, MADV_HUGEPAGE);
    m_data = static_cast<float *>(p);
    m_size = capacity;
    m_bytes = bytes;
    return true;
}

void History::zeroPrefix(std::size_t usedCount)
{
    if (!m_data || usedCount == 0)
        return;
    if (usedCount > m_size)
        usedCount = m_size;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t usedBytes = usedCount * sizeof(float);
    // Whole pages go back to the kernel and read as zero afterwards; the mapping stays.
    std::size_t dropBytes = (usedBytes + page - 1) / page * page;
    if (dropBytes > m_bytes)
        dropBytes = m_bytes;
    if (madvise(m_data, dropBytes, MADV_DONTNEED) != 0)
        std::memset(m_data, 0, usedBytes);
}
