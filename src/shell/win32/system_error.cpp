// The shared error box: the system's text of an error code under a fixed caption.
#include "shell/win32/system_error.h"

#include <cstdio>

void showSystemError(DWORD errorCode) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char*>(&text), 0, nullptr);
    char caption[64];
    std::snprintf(caption, sizeof caption, "Unexpected Error (%ld)\n", static_cast<long>(errorCode));
    MessageBoxA(nullptr, text != nullptr ? text : "", caption, MB_OK | MB_ICONERROR);
    if (text != nullptr) {
        LocalFree(text);
    }
}
