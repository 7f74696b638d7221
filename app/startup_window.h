// The Startup Entries window: everything that starts with Windows, each entry
// with a one-click lookup of its program on Kestrava.
#pragma once
#include <windows.h>

// Opens the window, or restores it and brings it to the front.
void ShowStartupWindow();
void CloseStartupWindow();
HWND StartupWindowHandle();
// The main loop's keyboard handling for the window: true when the message
// was handled (translated and dispatched) here.
bool HandleStartupWindowMessage(MSG* message);
