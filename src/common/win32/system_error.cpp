// The shared error box for system error codes.
#include "common/win32/system_error.h"

#include <cstdio>

MessageBoxFn messageBoxFn = MessageBoxA;

void showSystemError(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    char caption[64];
    std::snprintf(caption, sizeof caption, "Unexpected Error (%ld)\n", static_cast<long>(code));
    // An unknown code has no text; the box still shows, with an empty body.
    messageBoxFn(nullptr, text ? text : "", caption, MB_OK | MB_ICONERROR);
    if (text) LocalFree(text);
}
