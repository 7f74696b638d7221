// The program's icon at the sizes the system asks for at a DPI, each from
// the image of exactly that size in the .ico, never one image resampled.
#pragma once
#include <windows.h>

// The icon at a system icon size (SM_CXICON or SM_CXSMICON) of `dpi`; the
// caller destroys it.
HICON LoadProgramIcon(int sizeMetric, UINT dpi);
// The tray's icon at the small icon size of the tray's DPI (LoadIconMetric
// on Vista and later); the caller destroys it.
HICON LoadTrayIcon();
// Registers a class of our top-level windows: arrow cursor, dialog
// background, and the program's icons at the system's sizes.
bool RegisterProgramWindowClass(const wchar_t* name, WNDPROC procedure);
