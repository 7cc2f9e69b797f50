// Stand-in for the system's screen-saver password library: records every check and answers from a file;
// with "fault.txt" in the stub folder the check fails instead (see stub::failAsAsked). Loaded into the
// saver before its window, it also records the saver's requests for a finer system timer and the faults
// the saver offers to the system's crash handling.
#include "stub_log.h"

#include <mmsystem.h>

#include "support/import_patch.h"

namespace {

typedef MMRESULT(WINAPI* TimerPeriodFn)(UINT);
typedef LONG(WINAPI* ExceptionFilterFn)(EXCEPTION_POINTERS*);
TimerPeriodFn realBeginPeriod = nullptr;
TimerPeriodFn realEndPeriod = nullptr;
ExceptionFilterFn realUnhandledExceptionFilter = nullptr;

MMRESULT WINAPI recordedBeginPeriod(UINT period) {
  stub::record("timeBeginPeriod " + std::to_string(period));
  return realBeginPeriod(period);
}

MMRESULT WINAPI recordedEndPeriod(UINT period) {
  stub::record("timeEndPeriod " + std::to_string(period));
  return realEndPeriod(period);
}

LONG WINAPI recordedUnhandledExceptionFilter(EXCEPTION_POINTERS* details) {
  stub::record("UnhandledExceptionFilter");
  return realUnhandledExceptionFilter(details);
}

// The saver's own imports, swapped at attach and put back at detach.
struct WatchedImport {
  const char* dll;
  const char* function;
  void* recorder;
  void** real;
};
const WatchedImport kWatched[] = {
    {"winmm.dll", "timeBeginPeriod", reinterpret_cast<void*>(recordedBeginPeriod),
     reinterpret_cast<void**>(&realBeginPeriod)},
    {"winmm.dll", "timeEndPeriod", reinterpret_cast<void*>(recordedEndPeriod),
     reinterpret_cast<void**>(&realEndPeriod)},
    {"kernel32.dll", "UnhandledExceptionFilter", reinterpret_cast<void*>(recordedUnhandledExceptionFilter),
     reinterpret_cast<void**>(&realUnhandledExceptionFilter)},
};

void watchImports(bool watch) {
  HMODULE program = GetModuleHandleA(nullptr);
  for (const WatchedImport& w : kWatched) {
    if (watch) {
      *w.real = testsupport::patchImport(program, w.dll, w.function, w.recorder);
    } else if (*w.real) {
      testsupport::patchImport(program, w.dll, w.function, *w.real);
    }
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    stub::record("PASSWORD.CPL attach");
    watchImports(true);
  } else if (reason == DLL_PROCESS_DETACH) {
    watchImports(false);
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
