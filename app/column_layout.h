// The Running Processes list's column order, widths and hidden columns,
// saved in the settings and restored when the window opens; and the
// header's menu that hides and shows columns. Window thread only; one list.
#pragma once
#include <windows.h>

// Puts the saved order, widths (kept at 96 DPI) and hidden columns on the
// list's columns; a saved value of another size or with an order that is
// not one of the columns is ignored whole.
void RestoreColumnLayout(HWND list, UINT dpi);
void SaveColumnLayout(HWND list, UINT dpi);
// A hidden column has no width, and keeps none while hidden.
bool IsColumnHidden(int column);
// Hides a shown column or shows a hidden one at its width before; the
// first column (the name) always shows. Saved at once.
void ToggleColumn(HWND list, UINT dpi, int column);
// The header's menu at a screen point: each column's title, checked when shown.
void ShowColumnMenu(HWND owner, HWND list, UINT dpi, POINT screenPoint);
