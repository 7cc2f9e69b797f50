// The process's run modes: reading the screen-saver command line and dispatching to the mode.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/command_line.h"

// Runs the mode that commandText (the command line without the program's name) asks for and returns
// the process exit code.
int32_t saverMain(HINSTANCE instance, const char* commandText);

// A parsed handle value as a window handle, sign-extended as Windows does for 32-bit handle values.
HWND windowFromHandleValue(uint32_t value);

// The command line after the program's name and the blanks that follow it.
const char* skipProgramName(const char* commandLine);

// The settings dialog owned by `owner` (may be null); returns its result.
int32_t showConfigDialog(HWND owner);
