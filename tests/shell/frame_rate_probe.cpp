// Not part of the normal run: measures the frames per second of a full-screen saver window over ten
// seconds (every tick draws one frame). Run with --gtest_also_run_disabled_tests; the detail level comes
// from ORBIVANE_DETAIL (default 1) and is written to the settings for the run, then removed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "shell/win32/saver_window.h"

TEST(FrameRate, DISABLED_TenSecondsFullScreen) {
    const char* detail = std::getenv("ORBIVANE_DETAIL");
    DWORD level = detail ? static_cast<DWORD>(std::atoi(detail)) : 1;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orbivane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "detail_level", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);

    appInstance = GetModuleHandleA(nullptr);
    HWND window = createSaverWindow(nullptr);
    ASSERT_NE(window, nullptr);
    long ticks = 0;
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < 10000 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == window) ++ticks;
        DispatchMessageA(&msg);
    }
    double seconds = (GetTickCount() - start) / 1000.0;
    std::printf("detail level %lu: %ld frames in %.1f s = %.1f frames per second\n", level, ticks, seconds,
                ticks / seconds);
    DestroyWindow(window);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    UnregisterClassA(saverClassName, appInstance);
    RegDeleteValueA(key, "detail_level");
    RegCloseKey(key);
}
