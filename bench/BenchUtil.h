#pragma once

#include <QElapsedTimer>
#include <QString>
#include <limits>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

// Shared helpers of the benchmarks: figures are medians of repeated runs, and every
// figure is compared with a baseline measured in the same run.
namespace BenchUtil {

// Median wall time of `runs` calls of `work`, in milliseconds.
inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Medians of a baseline and a measured piece of work run in turns, so that a noisy
// machine slows both alike.
inline std::pair<double, double> pairedMs(int runs, const std::function<void()> &baseline,
                                          const std::function<void()> &work)
{
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(medianMs(1, baseline));
        b.push_back(medianMs(1, work));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

inline void row(const char *what, double ms, double baselineMs)
{
    std::printf("%-58s %9.2f ms   %5.2fx baseline\n", what, ms, baselineMs > 0 ? ms / baselineMs : 0.0);
}

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

// A figure with its throughput.
inline void throughputRow(const char *what, double ms, double megabytes)
{
    std::printf("  %-44s %9.3f ms  %8.1f MB/s\n", what, ms, megabytes / (ms / 1e3));
}

} // namespace BenchUtil
