// The tab page's own colour for the dialog's controls that stand on the page.
#pragma once

#include <windows.h>

// The controls of the tabs are the tab control's siblings, so left to themselves they paint the
// dialog's colour onto the page (a darker box behind every label when the page is drawn lighter, as
// themed tab controls do). The page's colour is taken from the tab control's own drawing.

// Takes the colour at the middle of the tab page: when the dialog opens and when the theme or the
// system colours change.
void takePageColour(HWND dialog);

// Deletes the page's brush (when the dialog goes).
void dropPageBrush();

// For WM_CTLCOLORSTATIC and WM_CTLCOLORBTN: the page's brush, with `dc`'s background set to its colour,
// for a control that lies wholly on the page; null otherwise (then the dialog's colour applies).
HBRUSH pageBrushFor(HWND dialog, HWND control, HDC dc);
