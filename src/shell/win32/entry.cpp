// Process entry of the screen saver: hands the command line, less the program's name, to saverMain.
#include <windows.h>

#include "shell/win32/saver_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ExitProcess(static_cast<UINT>(saverMain(instance, skipProgramName(GetCommandLineA()))));
}
