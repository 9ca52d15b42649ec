#pragma once

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <unistd.h>
#include <vector>

// The spread of one figure over the rounds of a benchmark: every benchmark prints min, median and max,
// so that a loaded machine shows as a wide spread rather than as a changed median.
struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
    int rounds = 0;
};

inline Spread spreadOf(std::vector<double> values)
{
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.min = values.front();
    s.median = values[values.size() / 2];
    s.max = values.back();
    s.rounds = int(values.size());
    return s;
}

// Each round's figure over the same round's floor, so that the ratio is taken in the same moment.
inline std::vector<double> ratiosOf(const std::vector<double> &figures, const std::vector<double> &floors)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(figures.size(), floors.size()); ++i)
        ratios.push_back(floors[i] > 0 ? figures[i] / floors[i] : 0.0);
    return ratios;
}

inline void printSpread(const char *what, const Spread &s, const char *unit)
{
    std::printf("%-40s %9.2f %-3s (min/median/max %.2f/%.2f/%.2f over %d rounds)\n", what, s.median, unit,
                s.min, s.median, s.max, s.rounds);
}

// CPU time of the whole process, in microseconds: on a machine that others load, the work a phase did
// varies far less than the wall time it took.
inline qint64 cpuMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// Resident memory now (not the peak), in KB; 0 where /proc cannot be read.
inline long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// Bytes the heap hands out now: unlike the resident set it does not hide what reuses freed pages.
inline long heapBytes()
{
    return long(mallinfo2().uordblks);
}
