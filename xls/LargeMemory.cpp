#include "xls/LargeMemory.h"

#include <QtGlobal>
#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace tv {

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
// Reserved up front: address space only, so a generous amount costs nothing.
constexpr std::size_t DefaultReservation = std::size_t(1) << 30;

std::size_t roundUp(std::size_t bytes) {
    return (bytes + HugePage - 1) & ~(HugePage - 1);
}

} // namespace

#ifdef Q_OS_LINUX

namespace {

// Maps bytes (a multiple of the huge page) at a huge-page boundary, or returns nullptr.
void* mapAligned(std::size_t bytes) {
    const std::size_t span = bytes + HugePage;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const auto aligned = (begin + HugePage - 1) & ~(HugePage - 1);
    if (aligned > begin)
        munmap(p, aligned - begin);
    const std::size_t tail = span - (aligned - begin) - bytes;
    if (tail > 0)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

} // namespace

void* mapRegion(std::size_t& bytes) {
    const std::size_t needed = roundUp(bytes);
    // A limit on address space may refuse the generous reservation but grant what is needed.
    for (std::size_t size = std::max(needed, DefaultReservation);;
         size = std::max(needed, size / 4)) {
        if (void* p = mapAligned(size)) {
            bytes = size;
            return p;
        }
        if (size == needed)
            throw std::bad_alloc();
    }
}

void* growRegion(void* region, std::size_t oldBytes, std::size_t& bytes) {
    const std::size_t size = std::max(roundUp(bytes), 2 * oldBytes);
    void* p = mremap(region, oldBytes, size, MREMAP_MAYMOVE);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, size, MADV_HUGEPAGE);
#endif
    bytes = size;
    return p;
}

void unmapRegion(void* region, std::size_t bytes) noexcept {
    if (region)
        munmap(region, bytes);
}

#else

void* mapRegion(std::size_t& bytes) {
    bytes = roundUp(bytes);
    void* p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void* growRegion(void* region, std::size_t, std::size_t& bytes) {
    bytes = roundUp(bytes);
    void* p = std::realloc(region, bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void unmapRegion(void* region, std::size_t) noexcept {
    std::free(region);
}

#endif

} // namespace tv
