// Stand-in for the system's screen-saver password library: records every check and answers from a file;
// with "fault.txt" in the stub folder the check fails instead (see stub::failAsAsked).
#include "stub_log.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    stub::record("PASSWORD.CPL attach");
  } else if (reason == DLL_PROCESS_DETACH) {
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
