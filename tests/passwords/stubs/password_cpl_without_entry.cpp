// Stand-in for a password library that lacks the check entry: only a control-panel applet entry.
#include "stub_log.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        stub::record("PASSWORD.CPL (no entry) attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        stub::record("PASSWORD.CPL (no entry) detach");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) LONG WINAPI CPlApplet(HWND, UINT, LPARAM, LPARAM) { return 0; }
