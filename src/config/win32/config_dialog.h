// The settings dialog of the configure run mode.
#pragma once

#include <windows.h>

// Shows the modal settings dialog (resource 2003) owned by `parent` (may be null) and returns when it
// closes. Returns the dialog's result (IDOK or IDCANCEL), or -1 when it could not be shown.
INT_PTR runConfigDialog(HINSTANCE instance, HWND parent);
