// The shared error box for unexpected system failures.
#pragma once

#include <windows.h>

// Shows the system's text for `errorCode` in a message box with no owner, captioned
// "Unexpected Error (<code>)", with the error icon. Returns when the user closes it.
void showSystemError(DWORD errorCode);
