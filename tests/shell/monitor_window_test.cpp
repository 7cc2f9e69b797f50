// The full-screen saver window in the primary-monitor and individual-monitors modes, end to end in
// this process: its children, their input, the tick's repaint, and the child class's lifetime.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "common/win32/system_error.h"
#include "display/win32/gl_surface.h"
#include "display/win32/monitor_modes.h"
#include "scene/scene.h"
#include "shell/win32/saver_window.h"
#include "support/memory_backend.h"
#include "support/message_pump.h"
#include "support/scoped_value.h"

namespace {

// Contexts made current, by context; and whether making current is refused.
std::map<HGLRC, int> madeCurrent;
bool refuseMakeCurrent = false;
BOOL WINAPI watchingMakeCurrent(HDC dc, HGLRC context) {
    if (refuseMakeCurrent) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    ++madeCurrent[context];
    return wglMakeCurrent(dc, context);
}

int boxesShown = 0;
int WINAPI countingMessageBox(HWND, LPCSTR, LPCSTR, UINT) {
    ++boxesShown;
    return IDOK;
}

struct Monitor {
    RECT rect;
    bool primary;
};
BOOL CALLBACK collectMonitor(HMONITOR m, HDC, LPRECT r, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(m, &info);
    const bool primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    reinterpret_cast<std::vector<Monitor>*>(data)->push_back({*r, primary});
    return TRUE;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class MonitorModeWindow : public testing::Test {
protected:
    void SetUp() override {
        appInstance = GetModuleHandleA(nullptr);
        settings.store("detail_level", 0);  // the quickest image
        boxesShown = 0;
        refuseMakeCurrent = false;
        EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        pump();
        UnregisterClassA(saverClassName, appInstance);
        refuseMakeCurrent = false;
    }
    static void pump() { pumpMessages(); }
    ScopedValue<MessageBoxFn> countBoxes{messageBoxFn, countingMessageBox};
    ScopedValue<MakeCurrentFn> watchMakeCurrent{makeCurrentFn, watchingMakeCurrent};
    void open(int mode) {
        settings.store("monitor_mode", mode);
        SetCursorPos(100, 100);
        madeCurrent.clear();
        window = createSaverWindow(nullptr);
        ASSERT_NE(window, nullptr);
        closePosted();
    }
    void close() {
        DestroyWindow(window);
        window = nullptr;
        pump();
        UnregisterClassA(saverClassName, appInstance);
    }
    std::vector<HWND> children() const {
        std::vector<HWND> found;
        for (HWND c = FindWindowExA(window, nullptr, childClassName, nullptr); c;
             c = FindWindowExA(window, c, childClassName, nullptr))
            found.push_back(c);
        return found;
    }
    bool closePosted() {
        MSG msg;
        bool posted = false;
        while (PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) posted = true;
        return posted;
    }
    static bool childClassExists() {
        WNDCLASSA wc;
        return GetClassInfoA(appInstance, childClassName, &wc) != FALSE;
    }

    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings{settings};
    std::vector<Monitor> monitors;
    HWND window = nullptr;
};

}  // namespace

TEST_F(MonitorModeWindow, ChildrenCoverTheChosenMonitorsDrawEveryTickAndForwardInput) {
    // Two windows in a row: the second registers the child class again and gets children again.
    for (int mode : {1, 2, 1}) {
        SCOPED_TRACE("monitor_mode " + std::to_string(mode));
        open(mode);
        EXPECT_TRUE(childClassExists());
        std::vector<HWND> found = children();
        size_t expected = 0;
        for (const Monitor& m : monitors) expected += (mode == 2 || m.primary) ? 1 : 0;
        ASSERT_EQ(found.size(), expected);
        for (HWND child : found) {
            RECT r;
            GetWindowRect(child, &r);
            bool matches = false;
            for (const Monitor& m : monitors) matches = matches || ((mode == 2 || m.primary) && sameRect(r, m.rect));
            EXPECT_TRUE(matches) << r.left << "," << r.top << " " << r.right << "x" << r.bottom;
        }
        EXPECT_FALSE(saverState.surfaceReady);  // the saver window draws nothing itself
        EXPECT_GT(Scene::instance().vertexCount, 0);

        // One tick: every child makes its own context current and draws.
        madeCurrent.clear();
        SendMessageA(window, WM_TIMER, frameTimer, 0);
        for (HWND child : found) {
            auto* surface = reinterpret_cast<ChildSurface*>(GetWindowLongPtrA(child, GWLP_USERDATA));
            ASSERT_NE(surface, nullptr);
            EXPECT_EQ(madeCurrent[surface->context], 1);
        }

        // Presses and far movements over a child reach the saver window's close policy; a middle
        // button over a child does not.
        HWND child = found[0];
        EXPECT_FALSE((SendMessageA(child, WM_MBUTTONDOWN, 0, 0), closePosted()));
        EXPECT_FALSE((SendMessageA(child, WM_KEYUP, 'A', 0), closePosted()));
        EXPECT_TRUE((SendMessageA(child, WM_KEYDOWN, 'A', 0), closePosted()));
        EXPECT_TRUE((SendMessageA(child, WM_RBUTTONDOWN, 0, 0), closePosted()));
        SetCursorPos(102, 102);
        EXPECT_FALSE((SendMessageA(child, WM_MOUSEMOVE, 0, 0), closePosted()));
        SetCursorPos(110, 102);
        EXPECT_TRUE((SendMessageA(child, WM_MOUSEMOVE, 0, 0), closePosted()));

        close();
        EXPECT_FALSE(childClassExists()) << "the child class outlived the saver window";
    }
    EXPECT_EQ(boxesShown, 0);
}

TEST_F(MonitorModeWindow, ChildWhoseContextCannotBeMadeCurrentIsNotCreated) {
    refuseMakeCurrent = true;
    open(2);
    EXPECT_TRUE(children().empty());
    EXPECT_EQ(boxesShown, 0);  // nothing is reported for a child
    // The saver window itself runs on: its timer ticks and input closes it.
    EXPECT_TRUE(KillTimer(window, frameTimer));
    EXPECT_TRUE((SendMessageA(window, WM_KEYDOWN, 'A', 0), closePosted()));
    close();
    EXPECT_FALSE(childClassExists());

    // With contexts working again the next window has its children.
    refuseMakeCurrent = false;
    open(2);
    EXPECT_EQ(children().size(), monitors.size());
}
