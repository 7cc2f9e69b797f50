// Shows the settings dialog on one tab for a screenshot: config_dialog_shot <tab 0..4> <rect file> [ms].
// Writes the dialog's screen rectangle ("left top right bottom") to the rect file, then keeps running for
// the given time (default 3000 ms) so that the picture can be taken.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "config/win32/config_dialog.h"
#include "resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    const int tab = std::atoi(__argv[1]);
    const DWORD lifetime = __argc > 3 ? static_cast<DWORD>(std::atoi(__argv[3])) : 3000;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), nullptr, configDialogProc, 0);
    if (dialog == nullptr) {
        return 1;
    }
    SetWindowPos(dialog, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);

    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    SendMessageA(tabs, TCM_SETCURSEL, tab, 0);
    NMHDR change{tabs, IDC_TABS, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(dialog, WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&change));

    RECT rect;
    GetWindowRect(dialog, &rect);
    if (FILE* file = std::fopen(__argv[2], "w")) {
        std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        std::fclose(file);
    }

    const DWORD end = GetTickCount() + lifetime;
    MSG message;
    while (GetTickCount() < end && IsWindow(dialog)) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return 0;
}
