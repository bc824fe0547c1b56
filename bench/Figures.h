// What the benches measure with and how they print it: one figure a line, "name value unit".
#pragma once

#include <algorithm>
#include <cstdio>
#include <time.h>
#include <vector>

namespace tv::bench {

inline void print(const char* name, double value, const char* unit) {
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// The value at fraction p (0 to 1) of the sorted values, the nearest rank; v must not be empty.
inline double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// CPU time of this thread: the work itself, without waiting for a busy machine.
inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace tv::bench
