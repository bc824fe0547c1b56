#include "platform/VectorState.h"

namespace tv {

void clearVectorUpperState() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        __asm__ volatile("vzeroupper");
#endif
}

} // namespace tv
