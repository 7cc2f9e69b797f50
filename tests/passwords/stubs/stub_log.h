// Shared by the stand-in password libraries: where they record their calls and what they answer.
// ORBIVANE_STUB_DIR names a folder; calls are appended to "calls.log" there, one line each, and the
// password check answers with the number in "answer.txt" (missing or unreadable: 0, a wrong password).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace stub {

inline std::string folder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("ORBIVANE_STUB_DIR", buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

inline void record(const std::string& line) {
  const std::string dir = folder();
  if (dir.empty()) {
    return;
  }
  const std::string path = dir + "\\calls.log";
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

inline int answer() {
  const std::string dir = folder();
  if (dir.empty()) {
    return 0;
  }
  const std::string path = dir + "\\answer.txt";
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) {
    return 0;
  }
  int value = 0;
  if (std::fscanf(file, "%d", &value) != 1) {
    value = 0;
  }
  std::fclose(file);
  return value;
}

// "<handle as decimal> <class name>" of a window, "0 -" for none.
inline std::string describeWindow(HWND window) {
  char name[256] = "-";
  if (window && !GetClassNameA(window, name, sizeof name)) {
    lstrcpyA(name, "?");
  }
  return std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window))) + " " + name;
}

}  // namespace stub
