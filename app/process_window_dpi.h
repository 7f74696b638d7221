// What the Running Processes window sizes by its DPI: the controls' font,
// the filter's height, the margins, the columns, the row icons, the
// window's own icons and its minimum size; and moving to another DPI.
#pragma once
#include <windows.h>

struct ProcessWindowDpi {
    UINT dpi;
    HFONT font;        // ours: deleted when replaced and with the window
    HICON icon;        // likewise, the window's large and small icons
    HICON smallIcon;
    int filterHeight;
    int margin;
};

// Lays the window's font, filter height, margin, row icons and icons out at `dpi`.
void ApplyProcessWindowDpi(ProcessWindowDpi* scale, HWND window, HWND list, UINT dpi);
// WM_DPICHANGED: the columns keep the user's widths in proportion, the rest
// follows the new DPI, and the window takes the rectangle the system suggests.
void ChangeProcessWindowDpi(ProcessWindowDpi* scale, HWND window, HWND list, UINT dpi,
                            const RECT* suggested);
// A list's columns from one DPI to another, each width in proportion.
void ScaleListColumns(HWND list, UINT fromDpi, UINT toDpi);
// WM_GETMINMAXINFO: room for the filter and a few rows at the window's DPI.
void LimitProcessWindowSize(const ProcessWindowDpi* scale, HWND window, MINMAXINFO* limits);
void ReleaseProcessWindowDpi(ProcessWindowDpi* scale);
