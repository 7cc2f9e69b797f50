// The saver's command-line switches, read without the window system: which run mode, which window.
#pragma once

#include <cstdint>

// What one command line asks for.
enum class RunMode {
    configureAlone,  // no switch: the settings dialog with no owner
    configure,       // c, or c:HANDLE: the settings dialog owned by the window (or the foreground one)
    changePassword,  // a HANDLE: the password change, owned by the window
    preview,         // p HANDLE or l HANDLE: the preview inside the window
    fullScreen,      // s
    invalid,         // anything else: exit code -1
};

struct RunRequest {
    RunMode mode = RunMode::invalid;
    uint32_t handle = 0;  // the window handle value for configure, changePassword and preview; 0 for none
};

// Reads the command line after the program's name: blanks, '-' and '/' are skipped, then the first
// other character picks the mode (either case); handles are read by parseWindowHandle.
RunRequest parseRunRequest(const char* text);

// Decimal digits at the start of text, in wrapping 32-bit arithmetic; 0 when text starts otherwise.
uint32_t parseWindowHandle(const char* text);
