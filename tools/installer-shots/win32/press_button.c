// Presses a button of a top-level window whose title starts with the given text, as a click would (for
// pictures of wizards). Usage: press_button.exe <title> <button id>; exit code 1 when there is no such
// window or the button is missing or disabled.
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

static const wchar_t* wanted;
static HWND found;

static BOOL CALLBACK visit(HWND window, LPARAM unused) {
    (void)unused;
    wchar_t title[256];
    if (IsWindowVisible(window) && GetWindowTextW(window, title, 256) > 0 &&
        wcsncmp(title, wanted, wcslen(wanted)) == 0) {
        found = window;
        return FALSE;
    }
    return TRUE;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    wanted = argv[1];
    EnumWindows(visit, 0);
    int id = _wtoi(argv[2]);
    HWND button = found ? GetDlgItem(found, id) : NULL;
    if (!button || !IsWindowEnabled(button)) return 1;
    PostMessageW(found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
    return 0;
}
