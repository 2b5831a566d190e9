#pragma once
// Time for the program: a monotonic clock and a pause that keeps the event loop running.
// Tests replace both, so that no test waits for real seconds.
#include <QtGlobal>
#include <functional>

namespace Platform {

// Milliseconds of a monotonic clock (only differences mean anything).
qint64 NowMs();
// Waits ms inside a nested event loop: timers, windows and deferred deletes keep running.
// Never blocks the thread; re-entrant callers must guard themselves.
void Pause(int ms);

// The pause before the next try of a step the machine made fail (a full disk, a missing
// folder): 500 ms after the first failure, doubled at each, at most 10 s.
constexpr int kFirstRetryMs = 500;
constexpr int kLongestRetryMs = 10000;
constexpr int NextRetryPause(int previousMs) {
    return previousMs <= 0                     ? kFirstRetryMs
           : previousMs >= kLongestRetryMs / 2 ? kLongestRetryMs
                                               : previousMs * 2;
}

struct ClockHooks {
    std::function<qint64()> now;
    std::function<void(int ms)> pause;
};
// Replaces the clock (tests); empty hooks restore the real one.
void SetClockHooks(ClockHooks hooks);

} // namespace Platform
