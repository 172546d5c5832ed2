// The display scale a window is drawn at, on every Windows we serve: the
// calls that tell it came with Windows 8.1 and 10, so they are looked up.
#pragma once

#include <windows.h>

// The DPI of the monitor the window is on (96 at 100 %): the window's own
// from Windows 10 1607, its monitor's on 8.1, the system's on 7 and 8.
int WindowDpi(HWND hWnd);

// Keeps the dialog manager of Windows 10 1703 and later from resizing the
// dialog, moving its controls and changing their fonts when the DPI
// changes: the window lays itself out for every scale.
void KeepDialogLayoutOnDpiChange(HWND hDlg);
