#pragma once

// Small helpers shared by the benchmarks: timing and printing. A benchmark prints its
// figures beside a baseline measured in the same run, never asserting an absolute time.

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

namespace BenchUtil {

// The best of `runs` timings of `work` in milliseconds; `prepare` runs untimed before each.
inline double bestMs(int runs, const std::function<void()> &prepare, const std::function<void()> &work)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

inline void print(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace BenchUtil
