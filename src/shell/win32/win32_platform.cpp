// The scene's platform services on Win32.
#include "shell/win32/win32_platform.h"

#include <ctime>

#include "common/win32/system_error.h"
#include "display/win32/monitor_modes.h"
#include "scene/scene.h"
#include "shell/win32/saver_window.h"

int64_t Win32ScenePlatform::nowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

void Win32ScenePlatform::repaintSurfaces() {
    if (!saverState.window) return;
    const Scene& scene = Scene::instance();
    if (scene.preview || scene.monitorMode == MonitorMode::acrossAll) {
        InvalidateRect(saverState.window, nullptr, FALSE);
        UpdateWindow(saverState.window);
    } else {
        EnumChildWindows(saverState.window, repaintChildSurfaces, 0);
    }
}

void Win32ScenePlatform::showError(const char* text, const char* caption) {
    messageBoxFn(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

Win32ScenePlatform& win32ScenePlatform() {
    static Win32ScenePlatform platform;
    return platform;
}
