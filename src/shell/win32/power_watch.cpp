// The saver window's watches on the system: display-state reports, and the timer resolution it holds.
#include "shell/win32/power_watch.h"

#include <mmsystem.h>

#include "shell/win32/saver_window.h"

namespace {

typedef HPOWERNOTIFY(WINAPI* RegisterPowerSettingNotificationFn)(HANDLE, LPCGUID, DWORD);
typedef BOOL(WINAPI* UnregisterPowerSettingNotificationFn)(HPOWERNOTIFY);

// The state of the console's display ({6FE69556-704A-47A0-8F24-C28D936FDA47}): a DWORD, 0 off, 1 on,
// 2 dimmed. Reported from Windows 8 on; earlier systems only send SC_MONITORPOWER.
const GUID consoleDisplayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};
const DWORD displayOff = 0;
HPOWERNOTIFY displayStateNotice = nullptr;  // the full-screen window's registration, or null
bool displayStateReported = false;          // the report of the state at registration has come

bool fineTimerResolutionHeld = false;  // timeBeginPeriod(fineTimerResolution) is in force

// An optional entry point of USER32, looked up by name: systems before Windows Vista lack the
// power-setting ones.
template <typename Fn>
Fn userEntry(const char* name) {
    HMODULE user = GetModuleHandleA("USER32.DLL");
    return user ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user, name))) : nullptr;
}

}  // namespace

void watchDisplayState(HWND window) {
    auto registerNotice = userEntry<RegisterPowerSettingNotificationFn>("RegisterPowerSettingNotification");
    if (registerNotice) displayStateNotice = registerNotice(window, &consoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void unwatchDisplayState() {
    if (!displayStateNotice) return;
    auto unregisterNotice = userEntry<UnregisterPowerSettingNotificationFn>("UnregisterPowerSettingNotification");
    if (unregisterNotice) unregisterNotice(displayStateNotice);
    displayStateNotice = nullptr;
}

bool displayTurnedOff(LPARAM lParam) {
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
    if (!setting || !IsEqualGUID(setting->PowerSetting, consoleDisplayState) || setting->DataLength < sizeof(DWORD))
        return false;
    if (!displayStateReported) {
        displayStateReported = true;
        return false;
    }
    DWORD state;
    CopyMemory(&state, setting->Data, sizeof state);
    return state == displayOff;
}

void forgetDisplayState() {
    displayStateNotice = nullptr;
    displayStateReported = false;
}

void holdFineTimerResolution() {
    if (fineTimerResolutionHeld) return;
    fineTimerResolutionHeld = timeBeginPeriod(fineTimerResolution) == TIMERR_NOERROR;
}

void releaseFineTimerResolution() {
    if (!fineTimerResolutionHeld) return;
    fineTimerResolutionHeld = false;
    timeEndPeriod(fineTimerResolution);
}
