// The shared error box for system error codes, and the message-box call every box goes through.
#pragma once

#include <windows.h>

// Every message box of the saver is shown through this pointer (MessageBoxA by default), so that
// tests can watch boxes instead of blocking on them.
typedef int(WINAPI* MessageBoxFn)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
extern MessageBoxFn messageBoxFn;

// Shows the system's text for `code` under the caption "Unexpected Error (<code>)\n", with no owner
// and the error icon.
void showSystemError(DWORD code);
