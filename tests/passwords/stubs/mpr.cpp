// Stand-in for the network provider library: records the password-change call and its arguments.
// With "fault.txt" in the stub folder it fails inside the call (see stub::failAsAsked) after setting the
// screen-saver-running flag, and its detach records the flag as the process ends.
#include "stub_log.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        stub::record("MPR.DLL attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        stub::recordDetach("MPR.DLL");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI
    PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD first, DWORD second) {
    stub::record(std::string("PwdChangePasswordA ") + (provider ? provider : "(null)") + " " +
                 stub::describeWindow(owner) + " " + std::to_string(first) + " " + std::to_string(second));
    if (!stub::faultMode().empty()) {
        BOOL previous = FALSE;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &previous, 0);
        stub::failAsAsked();
    }
    return 0;
}
