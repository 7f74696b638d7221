// The Running Processes window: every running process with a one-click lookup.
#pragma once
#include <windows.h>

// Opens the window, or restores it and brings it to the front.
void ShowProcessWindow();
// Destroys the window if it is open.
void CloseProcessWindow();
HWND ProcessWindowHandle();
// Lists the running processes again now (also every 2 seconds while shown).
void RefreshProcessWindow();
// The main loop's keyboard handling for the window: true when the message
// was handled (translated and dispatched) here.
bool HandleProcessWindowMessage(MSG* message);
