// The settings dialog of the configure run mode.
#pragma once

#include <windows.h>

// Shows the modal settings dialog (resource 2003) owned by `parent` (may be null) and returns when it
// closes. Returns the dialog's result (1 after OK, 0 after Cancel), or -1 when it could not be shown.
INT_PTR runConfigDialog(HINSTANCE instance, HWND parent);

// The dialog's procedure, for a dialog made from resource 2003 (modal through runConfigDialog, or modeless).
INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Attaches a balloon tooltip with `text` to the dialog's control `controlId`. Returns the tooltip window,
// or null when the dialog, the text, the control or the tooltip window is missing.
HWND addTooltip(HWND dialog, int controlId, const char* text);

// Top-left corner, in screen pixels, that centres a window of `windowRect`'s size on `target` and keeps
// it inside `workArea` (its top-left corner wins where the window is larger than the work area).
POINT centredWindowOrigin(const RECT& windowRect, const RECT& target, const RECT& workArea);
