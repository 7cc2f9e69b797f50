// Stand-in for the network provider library: records the password-change call and its arguments.
// With "fault.txt" in the stub folder it fails inside the call instead of returning, after setting the
// screen-saver-running flag: "write" writes to a page without access, "throw" throws a C++ exception, "raise"
// raises an exception of its own code. Its detach then records the flag as the process ends.
#include <stdexcept>

#include "stub_log.h"

namespace {

std::string faultMode() {
  const std::string dir = stub::folder();
  if (dir.empty()) {
    return std::string();
  }
  char text[16] = {};
  FILE* file = std::fopen((dir + "\\fault.txt").c_str(), "r");
  if (!file) {
    return std::string();
  }
  if (std::fscanf(file, "%15s", text) != 1) {
    text[0] = '\0';
  }
  std::fclose(file);
  return text;
}

bool runningFlag() {
  BOOL running = FALSE;
  SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
  return running != FALSE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    stub::record("MPR.DLL attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    if (faultMode().empty()) {
      stub::record("MPR.DLL detach");
    } else {
      stub::record(std::string("MPR.DLL detach, running flag ") + (runningFlag() ? "1" : "0"));
    }
  }
  return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD first,
                                                                 DWORD second) {
  stub::record(std::string("PwdChangePasswordA ") + (provider ? provider : "(null)") + " " +
               stub::describeWindow(owner) + " " + std::to_string(first) + " " + std::to_string(second));
  const std::string fault = faultMode();
  if (fault.empty()) {
    return 0;
  }
  BOOL previous = FALSE;
  SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &previous, 0);
  stub::record(std::string("fault ") + fault + ", running flag " + (runningFlag() ? "1" : "0"));
  if (fault == "write") {
    // A page reserved without access: the store faults for certain (address 0 is not always unmapped).
    int* volatile target =
        static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
    *target = 1;
    stub::record("resumed after write");
  } else if (fault == "throw") {
    throw std::runtime_error("password provider failed");
  } else if (fault == "raise") {
    RaiseException(0xE0D0CAFEu, 0, 0, nullptr);
  }
  return 0;
}
