#pragma once

#include <cstddef>

// A fixed-capacity store of samples of type T backed by lazily committed zero pages.
//
// The storage is obtained once and never moved, so another thread may keep reading
// entries while the owner resets it. Untouched pages cost no resident memory and read
// as 0.0. On Linux the storage is one anonymous mapping, and zeroing the used prefix
// hands its pages back to the kernel instead of writing them; elsewhere it is heap
// memory that the reset overwrites.
template <typename T> class BasicHistory
{
public:
    BasicHistory() = default;
    ~BasicHistory();
    BasicHistory(const BasicHistory &) = delete;
    BasicHistory &operator=(const BasicHistory &) = delete;

    // Obtains room for `capacity` entries, all 0.0. Does nothing if already done.
    // Returns false if the memory could not be had.
    bool allocate(std::size_t capacity);

    // Returns entries [0, usedCount) to 0.0 in place; the address stays the same.
    void zeroPrefix(std::size_t usedCount);

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    T &operator[](std::size_t i) { return m_data[i]; }
    const T &operator[](std::size_t i) const { return m_data[i]; }

private:
    T *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_bytes = 0;
};

extern template class BasicHistory<float>;
extern template class BasicHistory<double>;

// The position, velocity and current samples.
using History = BasicHistory<float>;
// The receive times of the samples, in seconds: a float would lose the microseconds
// after a few minutes, a double keeps them for centuries.
using TimeHistory = BasicHistory<double>;
