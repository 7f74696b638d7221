// Our windows follow the system's dark mode for apps (Windows 10 1809 and
// later, "AppsUseLightTheme" = 0): a dark title bar, and a dark background
// with light text in the window, its list view, edits and buttons. High
// contrast wins over dark. A window that was never dark is never touched, so
// light mode and older Windows look as they always did. UI thread only.
#pragma once
#include <windows.h>

// Whether the system asks for dark apps now, on a Windows that can show them.
bool IsDarkModeWanted();
// Makes `window` (a top-level window or dialog) and its children dark or
// light to match the system; call it once the children exist.
void ApplyColorMode(HWND window);
// For a window or dialog procedure, before its own switch: answers the
// WM_CTLCOLOR* messages and a plain window's WM_ERASEBKGND while dark (the
// brush is this module's, kept for the process's life), and follows
// WM_SETTINGCHANGE "ImmersiveColorSet" and high contrast switching. True
// when the message is answered with *result; a setting change never is.
bool HandleColorModeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
