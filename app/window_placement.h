// Where a window was closed, kept in a REG_BINARY setting and given back when
// it opens again.
#pragma once
#include <windows.h>

void SaveWindowPlacement(HWND window, const wchar_t* setting);
// Puts the window where it was last closed (brought back onto a monitor if
// that one is gone), or centred the first time; returns how to show it.
int RestoreWindowPlacement(HWND window, const wchar_t* setting);
