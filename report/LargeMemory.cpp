#include "report/LargeMemory.h"

#include <QtGlobal>
#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tv {

void adviseHugePages(void* data, std::size_t bytes) noexcept {
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the range can be granted; small ranges are not worth it.
    constexpr std::size_t Huge = std::size_t(2) << 20;
    if (bytes < 2 * Huge)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + Huge - 1) & ~(Huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(Huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

LargeBlock allocateLargeBlock(std::size_t bytes) {
    char* p = static_cast<char*>(std::malloc(bytes));
    if (!p)
        throw std::bad_alloc();
    adviseHugePages(p, bytes);
    return LargeBlock(p);
}

} // namespace tv
