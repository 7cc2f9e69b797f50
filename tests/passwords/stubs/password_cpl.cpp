// Stand-in for the system's screen-saver password library: records every check and answers from a file.
#include "stub_log.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    stub::record("PASSWORD.CPL attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    stub::record("PASSWORD.CPL detach");
  }
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
  const int result = stub::answer();
  stub::record("VerifyScreenSavePwd " + stub::describeWindow(owner) + " -> " + std::to_string(result));
  return result;
}
