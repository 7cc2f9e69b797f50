// Stand-in for the network provider library: records the password-change call and its arguments.
#include "stub_log.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    stub::record("MPR.DLL attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    stub::record("MPR.DLL detach");
  }
  return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD first,
                                                                 DWORD second) {
  stub::record(std::string("PwdChangePasswordA ") + (provider ? provider : "(null)") + " " +
               stub::describeWindow(owner) + " " + std::to_string(first) + " " + std::to_string(second));
  return 0;
}
