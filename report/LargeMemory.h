#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace tv {

// The workbook writer's big tables are fresh memory, and every fresh page costs a fault on its
// first touch. Asking for transparent huge pages, where the kernel grants them on request,
// turns up to 512 of those faults into one; elsewhere the advice is ignored.
void adviseHugePages(void* data, std::size_t bytes) noexcept;

// malloc-backed allocation with that advice, for the writer's large vectors.
template <class T> struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U> HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        void* p = std::malloc(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        adviseHugePages(p, n * sizeof(T));
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }
    template <class U> bool operator==(const HugePageAllocator<U>&) const noexcept { return true; }
};

struct FreeDeleter {
    void operator()(char* p) const noexcept { std::free(p); }
};
using LargeBlock = std::unique_ptr<char[], FreeDeleter>;

// A block of bytes, not initialised, with the huge-page advice.
LargeBlock allocateLargeBlock(std::size_t bytes);

} // namespace tv
