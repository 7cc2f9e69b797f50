// Stand-in for the system's screen-saver password library: records every check and answers from a file;
// with "fault.txt" in the stub folder the check fails instead (see stub::failAsAsked). Loaded into the
// saver before its window, it also records the saver's requests for a finer system timer and the faults
// the saver offers to the system's crash handling.
#include "stub_log.h"
#include "support/watched_imports.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        stub::record("PASSWORD.CPL attach");
        testsupport::watchSaverImports(GetModuleHandleA(nullptr), stub::record);
    } else if (reason == DLL_PROCESS_DETACH) {
        testsupport::watchSaverImports(GetModuleHandleA(nullptr), nullptr);
        stub::recordDetach("PASSWORD.CPL");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
    stub::failAsAsked();  // only with "fault.txt" in the stub folder
    const int result = stub::answer();
    stub::record("VerifyScreenSavePwd " + stub::describeWindow(owner) + " -> " + std::to_string(result));
    return result;
}
