#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef TOLVANE_ADDRESS_SANITIZER
#define TOLVANE_ADDRESS_SANITIZER 0
#endif

namespace tv {

// Address space reserved for large tables: pages are backed only when first touched, and with
// the huge-page advice a table grows without ever being moved or copied. mapRegion() reserves
// at least bytes (more when it can) and sets bytes to what it reserved; growRegion() makes a
// region larger, possibly moving it. Both throw std::bad_alloc when the system refuses.
void* mapRegion(std::size_t& bytes);
void* growRegion(void* region, std::size_t oldBytes, std::size_t& bytes);
void unmapRegion(void* region, std::size_t bytes) noexcept;

// A growable array of plain values for the writer's large tables. Small arrays live in the
// ordinary heap; past a megabyte an array moves to a reserved region, where it grows in place
// and its pages fault in as huge pages (hundreds of thousands of small page faults cost more
// than the work on the data itself). New elements are not initialised.
template <class T> class PodArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PodArray() = default;
    ~PodArray() {
        if (m_mapped)
            unmapRegion(m_data, m_capacity * sizeof(T));
        else
            std::free(m_data);
    }
    PodArray(const PodArray&) = delete;
    PodArray& operator=(const PodArray&) = delete;

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

    void push_back(T v) {
        if (m_size == m_capacity)
            reserve(m_size + 1);
        m_data[m_size++] = v;
    }
    // Appends n elements copied from values.
    void append(const T* values, std::size_t n) {
        if (n == 0)
            return;
        if (m_size + n > m_capacity)
            reserve(m_size + n);
        std::memcpy(m_data + m_size, values, n * sizeof(T));
        m_size += n;
    }
    // Sets the size; elements past the old size are not initialised.
    void resize(std::size_t n) {
        reserve(n);
        m_size = n;
    }
    void clear() { m_size = 0; }
    // Makes room for at least n elements, doubling so that appending stays cheap.
    void reserve(std::size_t n) {
        if (n > m_capacity)
            reserveExactly(std::max(n, std::max<std::size_t>(m_capacity * 2, 4096 / sizeof(T))));
    }

private:
    // The address sanitizer checks heap blocks only, so under it every array stays there.
    static constexpr std::size_t HeapLimit =
        TOLVANE_ADDRESS_SANITIZER ? ~std::size_t(0) : std::size_t(1) << 20;

    void reserveExactly(std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        if (m_mapped) {
            m_data = static_cast<T*>(growRegion(m_data, m_capacity * sizeof(T), bytes));
        } else if (bytes > HeapLimit) {
            T* region = static_cast<T*>(mapRegion(bytes));
            if (m_size)
                std::memcpy(region, m_data, m_size * sizeof(T));
            std::free(m_data);
            m_data = region;
            m_mapped = true;
        } else {
            void* p = std::realloc(m_data, bytes);
            if (!p)
                throw std::bad_alloc();
            m_data = static_cast<T*>(p);
        }
        m_capacity = bytes / sizeof(T);
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_mapped = false;
};

} // namespace tv
