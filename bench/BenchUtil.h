#pragma once

// Small helpers shared by the benchmarks: best-of timing and ratio printing.
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace BenchUtil {

// The best wall time of `repeat` runs, in seconds (the least disturbed run on a noisy machine).
inline double bestSeconds(int repeat, const std::function<void()> &work)
{
    double best = 1e100;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, double(t.nsecsElapsed()) / 1e9);
    }
    return best;
}

inline void row(const char *what, double seconds, double megabytes = 0)
{
    if (megabytes > 0)
        std::printf("  %-44s %9.3f ms  %8.1f MB/s\n", what, seconds * 1e3, megabytes / seconds);
    else
        std::printf("  %-44s %9.3f ms\n", what, seconds * 1e3);
}

} // namespace BenchUtil
