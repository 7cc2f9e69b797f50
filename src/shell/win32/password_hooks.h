// Windows 95/98/Me screen-saver password hooks: the password library, the running flag, password change.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* VerifyScreenSavePwdFn)(HWND owner);

extern bool isWin9xPlatform;                  // set once by detectPlatform; gates everything here
extern HMODULE passwordLibrary;               // "PASSWORD.CPL" while loaded, else null
extern VerifyScreenSavePwdFn verifyPassword;  // its "VerifyScreenSavePwd", or null

void detectPlatform();
void loadPasswordLibrary();
void unloadPasswordLibrary();
void setScreenSaverRunning(bool on);
void changePassword(HWND owner);
