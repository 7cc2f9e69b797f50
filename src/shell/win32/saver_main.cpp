// The process's run modes: settings dialog, password change, preview and full screen.
#include "shell/win32/saver_main.h"

#include <commctrl.h>

#include <exception>

#include "common/win32/system_error.h"
#include "config/win32/config_dialog.h"
#include "shell/win32/password_hooks.h"
#include "shell/win32/saver_window.h"

namespace {

typedef BOOL(WINAPI* HeapSetInformationFn)(HANDLE, int, PVOID, SIZE_T);

// The guard for faults that no handler of the program took. It is installed as the process's
// top-level filter for the run of a mode, so the system hands it every fault that escapes the mode
// (while a debugger is attached the system keeps the fault for the debugger instead).
// The fault is first offered to the system's own handling (error reporting, or a debugger it starts),
// which asks the top-level filter too: the filter found there before (the C runtime's) is put back for
// that. Only a verdict to resume the faulting code, or a debugger that has taken the process meanwhile,
// is honoured; when the system hands the fault back, the guard gives back the timer resolution, clears
// the screen-saver-running flag and ends the process with -1.
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
volatile LONG guardEntered = 0;  // set by the first fault the guard takes

LONG WINAPI lastChanceFilter(EXCEPTION_POINTERS* details) {
    // A fault inside the guard itself (or in a second thread at the same time) ends the process at once.
    if (InterlockedExchange(&guardEntered, 1) != 0) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(-1));
    SetUnhandledExceptionFilter(previousFilter != lastChanceFilter ? previousFilter : nullptr);
    const LONG verdict = UnhandledExceptionFilter(details);
    if (verdict == EXCEPTION_CONTINUE_EXECUTION) {
        SetUnhandledExceptionFilter(lastChanceFilter);
        InterlockedExchange(&guardEntered, 0);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (verdict == EXCEPTION_CONTINUE_SEARCH && IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
    releaseFineTimerResolution();
    setScreenSaverRunning(false);
    ExitProcess(static_cast<UINT>(-1));
}

HWND ownerOrForeground(HWND h) { return (h && IsWindow(h)) ? h : GetForegroundWindow(); }

int32_t runMode(const char* p) {
    const RunRequest request = parseRunRequest(p);
    switch (request.mode) {
    case RunMode::configureAlone:
        return showConfigDialog(nullptr);
    case RunMode::configure:
        return showConfigDialog(ownerOrForeground(windowFromHandleValue(request.handle)));
    case RunMode::changePassword:
        if (!isWin9xPlatform) return -1;
        changePassword(ownerOrForeground(windowFromHandleValue(request.handle)));
        return 0;
    case RunMode::preview: {
        HWND h = windowFromHandleValue(request.handle);
        if (h && IsWindow(h)) return runSaverWindow(h);
        return -1;
    }
    case RunMode::fullScreen:
        return runSaverWindow(nullptr);
    case RunMode::invalid:
        break;
    }
    return -1;
}

}  // namespace

HWND windowFromHandleValue(uint32_t value) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}

const char* skipProgramName(const char* p) {
    if (*p == '"') {
        do {
            p = CharNextA(p);
        } while (*p && *p != '"');
        if (*p == '"') p = CharNextA(p);
    } else {
        while (static_cast<unsigned char>(*p) > ' ') p = CharNextA(p);
    }
    while (*p && static_cast<unsigned char>(*p) <= ' ') p = CharNextA(p);
    return p;
}

int32_t showConfigDialog(HWND owner) { return static_cast<int32_t>(runConfigDialog(appInstance, owner)); }

int32_t saverMain(HINSTANCE instance, const char* commandText) {
    // Terminate on heap corruption where the system offers it (looked up by name: not everywhere).
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel) {
        auto heapSetInformation = reinterpret_cast<HeapSetInformationFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "HeapSetInformation")));
        if (heapSetInformation) heapSetInformation(nullptr, 1, nullptr, 0);
    }
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = 8;
    controls.dwICC = ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);
    appInstance = instance;
    detectPlatform();

    previousFilter = SetUnhandledExceptionFilter(lastChanceFilter);
    int32_t result;
    try {
        result = runMode(commandText);
    } catch (...) {
        releaseFineTimerResolution();
        setScreenSaverRunning(false);
        result = -1;
    }
    SetUnhandledExceptionFilter(previousFilter);
    return result;
}
