// The saver window's watches on the system: display-state reports, and the timer resolution it holds.
#pragma once

#include <windows.h>

// Full screen only: asks for the display-state reports, so that the run can end when the display turns
// off. Systems before Windows Vista have no such reports; there this does nothing.
void watchDisplayState(HWND window);
// Gives the registration back, if there is one.
void unwatchDisplayState();
// Forgets the registration and the reports seen, for a new saver window.
void forgetDisplayState();
// Whether a PBT_POWERSETTINGCHANGE report says that the display has turned off. The first display-state
// report only tells the state at registration and is passed over, as is "dimmed".
bool displayTurnedOff(LPARAM lParam);
