#pragma once
// The size a benchmark works on: as written, or a hundredth of it (at least 1) when
// $QORVLOG_BENCH_SMALL is set (not empty), so that CI runs every benchmark once in seconds
// (scripts/bench-smoke).
#include <algorithm>
#include <cstdlib>

inline int BenchSize(int full) {
    static const char* const set = std::getenv("QORVLOG_BENCH_SMALL");
    static const bool small = set && *set;
    return small ? std::max(1, full / 100) : full;
}
