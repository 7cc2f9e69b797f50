// Per-monitor child windows: placement by monitor mode, and which children the tick repaints.
#include <gtest/gtest.h>
#include <windows.h>
#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "common/random_source.h"
#include "display/win32/gl_surface.h"
#include "display/win32/monitor_modes.h"
#include "scene/scene.h"
#include "scene/scene_platform.h"
#include "support/memory_backend.h"
#include "surface_windows.h"

namespace {

int paintsOfOther = 0;
int paintsOfSurface = 0;
WNDPROC surfaceProc = nullptr;

LRESULT CALLBACK otherChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) ++paintsOfOther;
    return DefWindowProcA(w, m, wp, lp);
}
LRESULT CALLBACK countingSurfaceProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) ++paintsOfSurface;
    return CallWindowProcA(surfaceProc, w, m, wp, lp);
}

std::vector<HWND> surfaceChildren(HWND parent) {
    std::vector<HWND> found;
    for (HWND c = FindWindowExA(parent, nullptr, childClassName, nullptr); c;
         c = FindWindowExA(parent, c, childClassName, nullptr))
        found.push_back(c);
    return found;
}

BOOL CALLBACK collectMonitor(HMONITOR m, HDC, LPRECT r, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(m, &info);
    auto* list = reinterpret_cast<std::vector<std::pair<RECT, bool>>*>(data);
    list->push_back({*r, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

RECT windowRectOf(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r;
}

// A visible parent over the whole virtual screen, like the full-screen saver window.
struct VirtualScreenParent {
    VirtualScreenParent() : window(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)) {
        SetWindowPos(window.handle, nullptr, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
        registered = registerChildClass(GetModuleHandleA(nullptr));
    }
    ~VirtualScreenParent() {
        DestroyWindow(window.handle);
        if (registered) unregisterChildClass();
    }
    TestWindow window;
    bool registered;
};

// Scene services for a test that builds an image without the saver shell.
class QuietPlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override { return 1000; }
    void repaintSurfaces() override {}
    void showError(const char*, const char*) override { ADD_FAILURE() << "unexpected error box"; }
};

// Share of the current context's back-buffer pixels (width x height from the origin) whose channels
// differ by more than 25 of 255: the tube, as opposed to a grey or black background.
double colouredShareOfBackBuffer(int width, int height) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    size_t coloured = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        int hi = std::max({pixels[i], pixels[i + 1], pixels[i + 2]});
        int lo = std::min({pixels[i], pixels[i + 1], pixels[i + 2]});
        coloured += hi - lo > 25;
    }
    return static_cast<double>(coloured) / (static_cast<double>(width) * height);
}

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(MonitorChildren, TickRepaintsOnlySurfaceChildren) {
    VirtualScreenParent parent;
    ASSERT_TRUE(parent.registered);
    RECT area = {0, 0, 80, 60};
    createChildSurface(parent.window.handle, area);
    std::vector<HWND> surfaces = surfaceChildren(parent.window.handle);
    ASSERT_EQ(surfaces.size(), 1u);
    surfaceProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(surfaces[0], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingSurfaceProc)));

    WNDCLASSA wc{};
    wc.lpfnWndProc = otherChildProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OTHERCHILD";
    RegisterClassA(&wc);
    HWND other = CreateWindowExA(0, "OTHERCHILD", "", WS_CHILD | WS_VISIBLE, 100, 0, 50, 50, parent.window.handle,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    UpdateWindow(other);
    UpdateWindow(surfaces[0]);
    paintsOfOther = paintsOfSurface = 0;

    EnumChildWindows(parent.window.handle, repaintChildSurfaces, 0);
    EXPECT_EQ(paintsOfSurface, 1);
    EXPECT_EQ(paintsOfOther, 0);
    DestroyWindow(other);
    UnregisterClassA("OTHERCHILD", GetModuleHandleA(nullptr));
}

// The two tests below need two monitors; tests/display/two_monitors.sh runs them on such a display.
TEST(TwoMonitors, IndividualModeCoversEveryMonitor) {
    if (GetSystemMetrics(SM_CMONITORS) < 2) GTEST_SKIP() << "needs two monitors";
    std::vector<std::pair<RECT, bool>> monitors;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
    VirtualScreenParent parent;
    ASSERT_TRUE(parent.registered);
    Scene::instance().monitorMode = MonitorMode::eachMonitor;
    createMonitorChildren(parent.window.handle);
    std::vector<HWND> children = surfaceChildren(parent.window.handle);
    ASSERT_EQ(children.size(), monitors.size());
    for (const auto& monitor : monitors) {
        bool covered = false;
        for (HWND c : children) covered = covered || windowRectOf(c) == monitor.first;
        EXPECT_TRUE(covered) << monitor.first.left << "," << monitor.first.top;
    }
    // The surface created last is current, with its own monitor's viewport.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const RECT& last = monitors.back().first;
    EXPECT_EQ(viewport[2], last.right - last.left);
    EXPECT_EQ(viewport[3], last.bottom - last.top);
}

TEST(TwoMonitors, PrimaryModeCoversOnlyThePrimary) {
    if (GetSystemMetrics(SM_CMONITORS) < 2) GTEST_SKIP() << "needs two monitors";
    std::vector<std::pair<RECT, bool>> monitors;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
    VirtualScreenParent parent;
    ASSERT_TRUE(parent.registered);
    Scene::instance().monitorMode = MonitorMode::primaryOnly;
    createMonitorChildren(parent.window.handle);
    std::vector<HWND> children = surfaceChildren(parent.window.handle);
    ASSERT_EQ(children.size(), 1u);
    for (const auto& monitor : monitors) {
        if (monitor.second) {
            EXPECT_TRUE(windowRectOf(children[0]) == monitor.first);
        }
    }
}

// Every child surface draws the image in its own context. Wine 8.0 does not show OpenGL drawn into
// child windows on the virtual display, so the frame is checked in each child's back buffer.
TEST(TwoMonitors, EveryChildSurfaceDrawsTheImage) {
    if (GetSystemMetrics(SM_CMONITORS) < 2) GTEST_SKIP() << "needs two monitors";
    VirtualScreenParent parent;
    ASSERT_TRUE(parent.registered);
    MemorySettingsBackend settings;  // defaults, with the quickest image
    settings.store("detail_level", 0);
    ScopedSettingsBackend useSettings{settings};
    Scene& scene = Scene::instance();
    QuietPlatform platform;
    LcgRandom random{7};
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();
    scene.monitorMode = MonitorMode::eachMonitor;
    createMonitorChildren(parent.window.handle);
    ASSERT_TRUE(scene.buildImage());
    scene.fade = 1.0;
    std::vector<HWND> children = surfaceChildren(parent.window.handle);
    ASSERT_EQ(children.size(), 2u);
    for (HWND child : children) {
        auto* surface = reinterpret_cast<ChildSurface*>(GetWindowLongPtrA(child, GWLP_USERDATA));
        ASSERT_NE(surface, nullptr);
        ASSERT_TRUE(wglMakeCurrent(surface->dc, surface->context));
        RECT client;
        GetClientRect(child, &client);
        scene.renderFrame();
        glFinish();
        EXPECT_GT(colouredShareOfBackBuffer(client.right, client.bottom), 0.02)
            << "child " << client.right << "x" << client.bottom;
    }
    DestroyWindow(parent.window.handle);
    scene.releaseImage();
    scene.platform = nullptr;
    scene.random = nullptr;
}
