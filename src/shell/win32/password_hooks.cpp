// Windows 95/98/Me screen-saver password hooks: platform detection, the password library, the
// system's screen-saver-running flag and the password-change dialog, all found by name at run time.
#include "shell/win32/password_hooks.h"

bool isWin9xPlatform = false;                    // set once by detectPlatform at process start; never changes after
HMODULE passwordLibrary = nullptr;               // "PASSWORD.CPL" from a successful load until unloadPasswordLibrary
VerifyScreenSavePwdFn verifyPassword = nullptr;  // its entry while the library is loaded and exports it

namespace {

// The system value that tells whether the user wants a password to end the screen saver.
constexpr const char* kDesktopKey = "Control Panel\\Desktop";
constexpr const char* kUsePasswordValue = "ScreenSaveUsePassword";

// SystemParametersInfoA action that sets the system's screen-saver-running flag.
constexpr UINT kScreenSaverRunning = 97;

// The platform id that marks the Windows 95/98/Me family.
constexpr DWORD kPlatformWin32Windows = 1;

// An entry found with GetProcAddress, as the function type the caller expects. The detour through
// a parameterless function pointer keeps the cast free of function-type warnings.
template <typename Fn>
Fn entryPoint(HMODULE module, const char* name) {
    FARPROC entry = GetProcAddress(module, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry));
}

typedef DWORD(WINAPI* PwdChangePasswordFn)(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2);

}  // namespace

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes on every Windows");

void detectPlatform() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = 148;  // sizeof(OSVERSIONINFOA), the size every version of the call accepts
    const BOOL ok = GetVersionExA(&info);
    isWin9xPlatform = ok && info.dwPlatformId == kPlatformWin32Windows;
}

void loadPasswordLibrary() {
    if (!isWin9xPlatform) {
        return;
    }
    if (passwordLibrary) {
        unloadPasswordLibrary();
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    // Zeroed first: a value shorter than 4 bytes fills only its own bytes, the rest must read as 0.
    BYTE usePassword[4] = {0, 0, 0, 0};
    DWORD size = sizeof usePassword;
    const LONG queried = RegQueryValueExA(key, kUsePasswordValue, nullptr, nullptr, usePassword, &size);
    const bool wanted =
        queried == ERROR_SUCCESS && (usePassword[0] | usePassword[1] | usePassword[2] | usePassword[3]) != 0;
    if (wanted) {
        passwordLibrary = LoadLibraryA("PASSWORD.CPL");
        if (passwordLibrary) {
            verifyPassword = entryPoint<VerifyScreenSavePwdFn>(passwordLibrary, "VerifyScreenSavePwd");
            if (verifyPassword) {
                setScreenSaverRunning(true);
            } else {
                unloadPasswordLibrary();
            }
        }
    }
    RegCloseKey(key);
}

void unloadPasswordLibrary() {
    if (!isWin9xPlatform || !passwordLibrary) {
        return;
    }
    FreeLibrary(passwordLibrary);
    passwordLibrary = nullptr;
    if (verifyPassword) {
        verifyPassword = nullptr;
        setScreenSaverRunning(false);
    }
}

void setScreenSaverRunning(bool on) {
    if (!isWin9xPlatform) {
        return;
    }
    BOOL previous = FALSE;  // receives the flag's old state; not used
    SystemParametersInfoA(kScreenSaverRunning, on ? 1 : 0, &previous, 0);
}

void changePassword(HWND owner) {
    HMODULE library = LoadLibraryA("MPR.DLL");
    if (!library) {
        return;
    }
    PwdChangePasswordFn change = entryPoint<PwdChangePasswordFn>(library, "PwdChangePasswordA");
    if (change) {
        change("SCRSAVE", owner, 0, 0);
    }
    FreeLibrary(library);
}
