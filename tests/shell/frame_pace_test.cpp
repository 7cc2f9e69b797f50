// The frame timer's pace: a preview saver window in this process, its ticks counted as the loop takes them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "saver_process.h"
#include "shell/win32/saver_window.h"

// Wine keeps a timer's period to the millisecond, so the 20 ms frame timer ticks 50 times a second (on
// Windows the same holds only with the finer timer resolution that the window asks for). The preview box
// is hidden once the window runs: every tick still runs the scene's step, but draws no frame, so the
// count does not depend on how fast this machine draws. The ticks are counted against this process's
// performance counter in windows of one second. Other work on a busy machine can only delay ticks and
// lose some, never add any: the check passes on the first window that holds at least 45 ticks (a period
// rounded up to 31 ms gives 32), once three windows have been seen, and no window may hold more than 52
// (a shorter period gives more).
TEST(FramePace, FiftyTicksASecond) {
    appInstance = GetModuleHandleA(nullptr);
    HWND host = createHostWindow(64, 48);
    ASSERT_NE(host, nullptr);
    HWND window = createSaverWindow(host);
    ASSERT_NE(window, nullptr);
    ShowWindow(host, SW_HIDE);

    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&counter);
    const LONGLONG second = counter.QuadPart;
    auto now = [] {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return t.QuadPart;
    };
    const LONGLONG giveUp = now() + 120 * second;
    LONGLONG windowStart = 0;
    int ticks = 0, windows = 0, fewest = 1000, most = 0;
    MSG msg;
    while ((most < 45 || windows < 3) && now() < giveUp && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == window) {
            const LONGLONG t = now();
            if (windowStart != 0 && t - windowStart >= second) {
                ++windows;
                fewest = std::min(fewest, ticks);
                most = std::max(most, ticks);
                ticks = 0;
            }
            if (ticks == 0) windowStart = t;
            ++ticks;
        }
        DispatchMessageA(&msg);
    }
    EXPECT_GE(most, 45) << windows << " windows of one second, the fewest ticks " << fewest;
    EXPECT_LE(most, 52) << windows << " windows of one second";

    DestroyWindow(host);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    UnregisterClassA(saverClassName, appInstance);
}
