#include "history.h"

#include <cstdlib>
#include <cstring>

#ifdef KORVANE_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

// The platform's side of a history: zeroed memory obtained once that never moves, and a
// way to return a used prefix of it to zero.
namespace {

#ifdef KORVANE_LINUX

void *obtainZeroed(std::size_t bytes)
{
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    // Large pages make the reset cheap: a full history is a few hundred pages, not 31,250.
    madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}

void release(void *p, std::size_t bytes)
{
    munmap(p, bytes);
}

void rezero(void *p, std::size_t usedBytes, std::size_t bytes)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // Whole pages go back to the kernel and read as zero afterwards; the mapping stays.
    std::size_t dropBytes = (usedBytes + page - 1) / page * page;
    if (dropBytes > bytes)
        dropBytes = bytes;
    if (madvise(p, dropBytes, MADV_DONTNEED) != 0)
        std::memset(p, 0, usedBytes);
}

#else

// Plain heap memory: large blocks come zeroed from the system and are committed page by
// page as they are touched, but a reset writes every used byte.
void *obtainZeroed(std::size_t bytes)
{
    return std::calloc(bytes, 1);
}

void release(void *p, std::size_t)
{
    std::free(p);
}

void rezero(void *p, std::size_t usedBytes, std::size_t)
{
    std::memset(p, 0, usedBytes);
}

#endif

} // namespace

template <typename T> BasicHistory<T>::~BasicHistory()
{
    if (m_data)
        release(m_data, m_bytes);
}

template <typename T> bool BasicHistory<T>::allocate(std::size_t capacity)
{
    if (m_data)
        return true;
    const std::size_t bytes = capacity * sizeof(T);
    void *p = obtainZeroed(bytes);
    if (!p)
        return false;
    m_data = static_cast<T *>(p);
    m_size = capacity;
    m_bytes = bytes;
    return true;
}

template <typename T> void BasicHistory<T>::zeroPrefix(std::size_t usedCount)
{
    if (!m_data || usedCount == 0)
        return;
    if (usedCount > m_size)
        usedCount = m_size;
    rezero(m_data, usedCount * sizeof(T), m_bytes);
}

template class BasicHistory<float>;
template class BasicHistory<double>;
