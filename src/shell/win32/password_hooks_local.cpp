// Temporary local password hooks until the full set is part of the tree: platform detection and
// do-nothing library handling (no password is ever asked for). Removed when the real hooks land.
#include "shell/win32/password_hooks.h"

bool isWin9xPlatform = false;
HMODULE passwordLibrary = nullptr;
VerifyScreenSavePwdFn verifyPassword = nullptr;

void detectPlatform() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    isWin9xPlatform = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}
void loadPasswordLibrary() {}
void unloadPasswordLibrary() {}
void setScreenSaverRunning(bool) {}
void changePassword(HWND) {}
