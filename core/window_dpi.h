// The DPI a window is shown at, and the system's sizes at a DPI. Everything
// newer than Windows XP is looked up at run time; where it is missing the
// screen's DPI stands for every window and sizes are scaled from it.
#pragma once
#include <windows.h>

const UINT STANDARD_DPI = 96;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The window's DPI: its own (Windows 10 1607 and later), else its monitor's
// (8.1), else the screen's. NULL gives the screen's.
UINT ReadWindowDpi(HWND window);
// A length given at 96 DPI, at `dpi`.
int ScaleForDpi(int pixelsAt96, UINT dpi);
// GetSystemMetrics at `dpi`.
int ReadSystemMetricForDpi(int index, UINT dpi);
// The non-client metrics (fonts, caption) at `dpi`.
bool ReadNonClientMetricsForDpi(NONCLIENTMETRICSW* metrics, UINT dpi);
// The outer rectangle of a window whose client area is `rect`, at `dpi`.
bool AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD extendedStyle, UINT dpi);
