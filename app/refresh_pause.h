// The Running Processes window's title while its refreshing is paused (Ctrl+P).
#pragma once
#include <windows.h>

// The window's title, ending with " (Paused)" while paused.
void ShowRefreshPaused(HWND window, bool paused);
