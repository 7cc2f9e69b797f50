// Test helper: runs Orbivane.scr as the system would, with a command line, and watches its windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/message_pump.h"

// Path of Orbivane.scr as a Windows path (the build passes a Unix path; Wine maps it under Z:).
std::string saverPath();

class SaverProcess {
public:
    ~SaverProcess();
    // Starts the saver with `switches` appended to its quoted path (a space is not added).
    bool start(const std::string& switches);
    // Waits up to `ms` for the exit; the exit code, or STILL_ACTIVE when it is still running.
    DWORD waitExit(DWORD ms);
    DWORD id() const { return info_.dwProcessId; }
    // The first visible top-level window of this process, waiting up to `ms`; null if none came.
    HWND waitTopWindow(DWORD ms);

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// Polls `find` every 20 ms for up to `ms`; the first non-null result, or null.
template <typename F>
HWND waitForWindow(F find, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = find()) return w;
        if (GetTickCount() - start > ms) return nullptr;
        pumpMessages();
        Sleep(20);
    }
}

// A plain visible top-level window of the test with the given client size; destroyed by the caller.
HWND createHostWindow(int width, int height);

// A message that reached a host window watched by watchHostMessages; `help` is a copy of the HELPINFO
// that WM_HELP points to (zero for other messages).
struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    HELPINFO help;
};

// Records every WM_HELP and WM_CONTEXTMENU that reaches `host` from now on (into hostMessages()).
void watchHostMessages(HWND host);
std::vector<HostMessage>& hostMessages();

// One saver setting (a REG_DWORD under HKEY_CURRENT_USER\Software\Orbivane) set for the life of the
// object; the value found before, or its absence, comes back at destruction, even after a failed check.
class ScopedSetting {
public:
    ScopedSetting(const char* name, DWORD value);
    ~ScopedSetting();
    ScopedSetting(const ScopedSetting&) = delete;
    ScopedSetting& operator=(const ScopedSetting&) = delete;

private:
    std::string name_;
    bool existed_ = false;
    DWORD previous_ = 0;
};

// Waits until the thread that owns `window` has returned to its message loop (so that its creation,
// WM_CREATE included, is over); false when it did not answer within `ms`.
bool waitUntilIdle(HWND window, DWORD ms);
