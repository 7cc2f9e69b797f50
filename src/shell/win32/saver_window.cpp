// The saver window: three chained window procedures, creation and destruction, the frame timer and
// the close-on-input policy.
#include "shell/win32/saver_window.h"

#include <cstdint>
#include <cstdlib>

#include "common/random_source.h"
#include "common/win32/system_error.h"
#include "display/win32/gl_surface.h"
#include "display/win32/monitor_modes.h"
#include "scene/scene.h"
#include "shell/win32/password_hooks.h"
#include "shell/win32/power_watch.h"
#include "shell/win32/win32_platform.h"

SaverWindowState saverState;
const char saverClassName[] = "WindowsScreenSaverClass";
HINSTANCE appInstance = nullptr;
WNDPROC saverFallbackProc = DefWindowProcA;

namespace {

typedef HIMC(WINAPI* ImmAssociateContextFn)(HWND, HIMC);

HMODULE imeModule = nullptr;                          // IMM32.DLL when the process had it loaded
ImmAssociateContextFn immAssociateContext = nullptr;  // its "ImmAssociateContext", or null
HIMC savedInputContext = nullptr;                     // the window's context while detached

// The process-wide random source the scene draws from: the C library's sequence.
LcgRandom& processRandom() {
    static LcgRandom random;
    return random;
}

void postClose() { PostMessageA(saverState.window, WM_CLOSE, 0, 0); }

// Activation messages with wParam 0 mean the saver lost the user's attention, except while the window
// is still being created: focusing it inside WM_CREATE activates it before it is shown and before it
// is the foreground window, and some systems then report the caption as inactive.
void closeOnDeactivation(WPARAM wParam) {
    if (wParam == 0 && saverState.isCreated) postClose();
}

// Full screen covers the virtual screen; where the system reports no size, the screen's clip box.
RECT fullScreenRect() {
    RECT r;
    r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width == 0 || height == 0) {
        HDC screen = GetDC(nullptr);
        RECT clip = {0, 0, 0, 0};
        GetClipBox(screen, &clip);
        ReleaseDC(nullptr, screen);
        r.left = clip.left;
        r.top = clip.top;
        width = clip.right - clip.left;
        height = clip.bottom - clip.top;
    }
    r.right = r.left + width;
    r.bottom = r.top + height;
    return r;
}

void resetWindowState() {
    const bool hasPreviewParent = saverState.hasPreviewParent;
    saverState = SaverWindowState{};
    saverState.hasPreviewParent = hasPreviewParent;
    imeModule = nullptr;
    immAssociateContext = nullptr;
    savedInputContext = nullptr;
    forgetDisplayState();
}

// Creation sequence of the saver behaviour.
void createSaverScene(HWND window) {
    saverState.window = window;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    Scene& scene = Scene::instance();
    scene.platform = &win32ScenePlatform();
    scene.random = &processRandom();
    // The entry's one reading of the command line made the window a preview's child.
    scene.preview = saverState.hasPreviewParent;
    scene.loadSettings();

    if (scene.preview || scene.monitorMode == MonitorMode::acrossAll) {
        saverSurface.dc = GetDC(window);
        if (!initSaverSurface()) {
            showSystemError(GetLastError());
            return;  // no timer, no focus, no capture: the window only waits for input to close it
        }
        saverState.surfaceReady = true;
        RECT client;
        GetClientRect(window, &client);
        setViewportAndProjection(client.right, client.bottom);
        initRenderState(scene);
        scene.buildImage();
    } else {
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
        saverState.childClassRegistered = registerChildClass(instance);
        if (saverState.childClassRegistered) {
            createMonitorChildren(window);
            scene.buildImage();
        }
    }
    holdFineTimerResolution();
    SetTimer(window, frameTimer, frameTimerPeriod, nullptr);
    if (!scene.preview) {
        SetFocus(window);
        SetCapture(window);
        watchDisplayState(window);
    }
}

void destroySaverScene(HWND window) {
    KillTimer(window, frameTimer);
    releaseFineTimerResolution();
    unwatchDisplayState();
    Scene::instance().releaseImage();
    releaseSaverSurface(window);
    saverState.surfaceReady = false;
    PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK saverClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // Detach any input-method context, but only if the process already has the library.
        imeModule = GetModuleHandleA("IMM32.DLL");
        if (imeModule) {
            immAssociateContext = reinterpret_cast<ImmAssociateContextFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(imeModule, "ImmAssociateContext")));
            if (immAssociateContext) savedInputContext = immAssociateContext(window, nullptr);
        }
        GetCursorPos(&saverState.lastMousePos);
        if (!saverState.hasPreviewParent) SetCursor(nullptr);
        break;
    case WM_DESTROY:
        if (immAssociateContext && savedInputContext) immAssociateContext(window, savedInputContext);
        PostQuitMessage(0);
        break;
    case WM_SETTEXT:
        return 0;
    case WM_PAINT:
        if (saverState.isClosing) return saverFallbackProc(window, message, wParam, lParam);
        if (!saverState.hasPreviewParent) SetCursor(nullptr);
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (saverState.hasPreviewParent) {
            HWND parent = GetParent(window);
            if (parent && IsWindow(parent)) {
                const WPARAM toParent = reinterpret_cast<WPARAM>(parent);
                if (message == WM_HELP) {
                    // Its lParam points to a HELPINFO of this process: the message can only be sent,
                    // and the system copies the record into the parent's process. A parent that hangs
                    // is given up on after 2000 ms, so that the preview keeps running.
                    DWORD_PTR answer = 0;
                    SendMessageTimeoutA(parent, WM_HELP, toParent, lParam, SMTO_ABORTIFHUNG, 2000, &answer);
                } else {
                    PostMessageA(parent, message, toParent, lParam);
                }
            }
            return 1;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (saverState.isClosing) return saverFallbackProc(window, message, wParam, lParam);
        break;
    case WM_SYSCOMMAND:
        if (!saverState.hasPreviewParent) {
            switch (wParam & 0xFFF0) {
            case SC_NEXTWINDOW:
            case SC_PREVWINDOW:
            case SC_SCREENSAVE:
                return 0;
            case SC_MONITORPOWER:
                postClose();
                break;
            default:
                break;
            }
        }
        break;
    case WM_POWERBROADCAST:
        // Since Windows 8 a display turning off is reported here; SC_MONITORPOWER may never come.
        if (!saverState.hasPreviewParent && wParam == PBT_POWERSETTINGCHANGE && displayTurnedOff(lParam)) postClose();
        break;
    case WM_TIMER:
        if (saverState.isClosing) return 0;
        Sleep(0);
        break;
    default:
        break;
    }
    return saverSceneProc(window, message, wParam, lParam);
}

LRESULT saverSceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createSaverScene(window);
        return 0;
    case WM_DESTROY:
        destroySaverScene(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const Scene& scene = Scene::instance();
        if ((scene.preview || scene.monitorMode == MonitorMode::acrossAll) && saverState.surfaceReady) {
            Scene::instance().renderFrame();
            SwapBuffers(dc);
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;
    case WM_TIMER:
        Scene::instance().tick();
        return 0;
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
    case WM_NCACTIVATE:
        closeOnDeactivation(wParam);
        break;
    case WM_NCDESTROY:
        if (saverState.childClassRegistered) {
            unregisterChildClass();
            saverState.childClassRegistered = false;
        }
        break;
    default:
        break;
    }
    return saverDefaultProc(window, message, wParam, lParam);
}

LRESULT saverDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (saverState.hasPreviewParent || saverState.isClosing) return saverFallbackProc(window, message, wParam, lParam);

    if (message == WM_CLOSE) {
        if (isWin9xPlatform && !confirmClose()) {
            GetCursorPos(&saverState.lastMousePos);
            return 0;
        }
        return saverFallbackProc(window, message, wParam, lParam);
    }
    if (message == verifyPasswordRequest) {
        if (!isWin9xPlatform) return saverFallbackProc(window, message, wParam, lParam);
        return verifyPassword ? verifyPassword(saverState.window) : 1;
    }
    if (saverState.isCheckingPassword) return saverFallbackProc(window, message, wParam, lParam);

    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        postClose();
        break;
    case WM_MOUSEMOVE: {
        // The cursor position, not the message's coordinates: those are relative to whichever window
        // received the movement.
        POINT p;
        if (GetCursorPos(&p)) {
            int64_t d = std::llabs(static_cast<int64_t>(p.x) - saverState.lastMousePos.x) +
                        std::llabs(static_cast<int64_t>(p.y) - saverState.lastMousePos.y);
            if (d > mouseMoveThreshold) {
                postClose();
                saverState.lastMousePos = p;
            }
        }
        break;
    }
    case WM_ACTIVATEAPP:
        closeOnDeactivation(wParam);
        break;
    case WM_SHOWWINDOW:
        if (wParam) SetCursor(nullptr);
        break;
    case WM_SETCURSOR:
        SetCursor(nullptr);
        return 1;
    case WM_POWER:
        if (wParam == 3) postClose();  // PWR_CRITICALRESUME
        break;
    case WM_POWERBROADCAST:
        switch (wParam) {
        case 0x0:  // PBT_APMQUERYSUSPEND: granted
            return 1;
        case 0x1:
        case 0x2:
        case 0x3:
        case 0x4:
        case 0x5:  // queries failed, suspend, standby
            postClose();
            break;
        case 0x6:
        case 0x7:
        case 0x8:
        case 0x12:                           // resumes
            if (!(lParam & 1)) postClose();  // PBTF_APMRESUMEFROMFAILURE
            break;
        case 0xA:     // PBT_APMPOWERSTATUSCHANGE
        case 0x8013:  // PBT_POWERSETTINGCHANGE
            break;
        default:
            postClose();
            break;
        }
        break;
    default:
        break;
    }
    return saverFallbackProc(window, message, wParam, lParam);
}

bool confirmClose() {
    if (saverState.isCheckingPassword || saverState.isClosing) return false;
    if (!verifyPassword) {
        saverState.isClosing = true;
        return true;
    }
    DWORD now = GetTickCount();
    if (saverState.lastCheckTick != 0xFFFFFFFF && static_cast<DWORD>(now - saverState.lastCheckTick) < 200)
        return false;
    saverState.isCheckingPassword = true;
    MSG stale;
    PeekMessageA(&stale, saverState.window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    PeekMessageA(&stale, saverState.window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    saverState.isClosing = SendMessageA(saverState.window, verifyPasswordRequest, 0, 0) != 0;
    saverState.isCheckingPassword = false;
    if (!saverState.isClosing) SetCursor(nullptr);
    saverState.lastCheckTick = GetTickCount();
    return saverState.isClosing;
}

HWND createSaverWindow(HWND parent) {
    resetWindowState();
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = saverClassProc;
    wc.hInstance = appInstance;
    wc.hIcon = LoadIconA(appInstance, MAKEINTRESOURCEA(100));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = saverClassName;

    RECT r;
    DWORD style, exStyle;
    const char* title;
    if (parent) {
        RECT client;
        GetClientRect(parent, &client);
        r = {0, 0, client.right, client.bottom};
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        exStyle = 0;
        title = "Preview";
        saverState.hasPreviewParent = true;
    } else {
        saverState.hasPreviewParent = false;
        r = fullScreenRect();
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
        title = "Screen Saver";
        HWND running = FindWindowA(saverClassName, title);
        if (running && IsWindow(running)) {
            SetForegroundWindow(running);
            return nullptr;
        }
        loadPasswordLibrary();
    }
    if (!RegisterClassA(&wc)) return nullptr;
    HWND window = CreateWindowExA(exStyle, saverClassName, title, style, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, parent, nullptr, appInstance, nullptr);
    saverState.window = window;
    saverState.isCreated = window != nullptr;
    return window;
}

int runSaverWindow(HWND parent) {
    HWND window = createSaverWindow(parent);
    int result = 0;
    if (window) {
        if (!parent) SetForegroundWindow(window);
        MSG msg;
        BOOL got;
        while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        result = got == 0 ? static_cast<int>(msg.wParam) : 0;
    }
    unloadPasswordLibrary();
    return result;
}
