// The saver window: its class, the three chained window procedures, the close-on-input policy with the
// Windows 95/98/Me password confirmation, the frame timer, and the run of the two saver modes.
#pragma once

#include <windows.h>

// The state of the one saver window, process-wide. Everything but hasPreviewParent is reset when a saver
// window is created; hasPreviewParent is set right after, from the kind of window being made.
struct SaverWindowState {
    HWND window = nullptr;              // the window, from its creation until the process ends; null before
    bool hasPreviewParent = false;      // made as a child of a preview box: no close policy, cursor shown
    bool isClosing = false;             // a close was confirmed; input, paint and timer get default handling
    bool isCheckingPassword = false;    // confirmClose is waiting for the password check
    POINT lastMousePos = {0, 0};        // screen pixels; reference for the mouse-movement threshold
    DWORD lastCheckTick = 0xFFFFFFFF;   // GetTickCount ms at the end of the last password check; 0xFFFFFFFF: none
    bool childClassRegistered = false;  // "OPENGLCHILD" was registered at creation and is unregistered at the end
    bool surfaceReady = false;          // the single GL surface was set up and may be drawn on
    bool isCreated = false;             // CreateWindowExA has returned the window; deactivation counts from then
};
extern SaverWindowState saverState;

const int mouseMoveThreshold = 4;           // pixels (|dx| + |dy|) a movement must exceed to close
const UINT_PTR frameTimer = 1;              // identifier of the window's only timer
const UINT frameTimerPeriod = 20;           // ms between ticks
const UINT fineTimerResolution = 1;         // ms: the system timer resolution asked for while it runs
const UINT verifyPasswordRequest = WM_APP;  // asks the window to run the password check
extern const char saverClassName[];         // "WindowsScreenSaverClass"

// The module instance used for the window class, the dialog and the icon; set by saverMain.
extern HINSTANCE appInstance;

// Where every chain of the saver window finally goes (DefWindowProcA); tests may watch it.
extern WNDPROC saverFallbackProc;

LRESULT CALLBACK saverClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT saverSceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT saverDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Windows 95/98/Me: asks the password library whether a close may go through. True: allowed.
bool confirmClose();

// The system rounds timer periods to its timer resolution, 15.625 ms unless the process asks for a finer
// one: the 20 ms frame timer would then tick every 31 ms. The saver window asks for 1 ms while its frame
// timer runs and gives it back when it is destroyed; the crash guard gives it back on its way out.
// Each does something only once: a second hold, or a release without a hold, does nothing.
void holdFineTimerResolution();
void releaseFineTimerResolution();

// Registers the class and creates the saver window (full screen when parent is null), without the
// message loop; null when another full-screen saver runs or nothing could be created.
HWND createSaverWindow(HWND parent);

// Creates the saver window and runs the message loop until it is gone; returns the exit code.
int runSaverWindow(HWND parent);
