// The 20 ms frame pace of the X11 saver: deadlines on a monotonic clock that never pile up.
#pragma once

#include <cstdint>

// Like a periodic window-system timer whose expiries coalesce: after a late tick (a slow frame, or
// the process stopped and continued) the next one is due at once, but missed ticks are not replayed.
struct TickSchedule {
    int64_t periodNs = 20000000;  // tick period, nanoseconds
    int64_t nextNs = 0;           // monotonic time at which the next tick is due, nanoseconds

    // Starts the schedule: the first tick is one period after `nowNs`.
    void start(int64_t nowNs) { nextNs = nowNs + periodNs; }
    // True when a tick is due at `nowNs`.
    bool due(int64_t nowNs) const { return nowNs >= nextNs; }
    // Call after running a due tick: moves the deadline one period on, or to `nowNs` if that is
    // already past, so at most one late tick follows.
    void advance(int64_t nowNs) {
        nextNs += periodNs;
        if (nextNs < nowNs) nextNs = nowNs;
    }
    // Milliseconds to wait before the next tick, rounded up, 0 when due.
    int waitMs(int64_t nowNs) const {
        if (nowNs >= nextNs) return 0;
        return static_cast<int>((nextNs - nowNs + 999999) / 1000000);
    }
};
